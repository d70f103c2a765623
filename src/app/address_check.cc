#include "app/address_check.h"

#include "model/number_scan.h"

namespace gantrell {
namespace {

// The scheme, if the address has one: letters, digits, "+", "-" or "."
// before "://".
std::string SchemeOf(const std::string& address) {
  const std::size_t colon = address.find("://");
  if (colon == std::string::npos || colon == 0)
    return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = address[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok)
      return {};
  }
  return address.substr(0, colon);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (x != b[i])
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

bool SplitUrl(const std::string& address, UrlParts* parts) {
  *parts = UrlParts{};
  const std::string scheme = SchemeOf(address);
  parts->http = EqualsNoCase(scheme, "http");
  if (scheme.empty())
    return false;

  std::string rest = address.substr(scheme.size() + 3);
  const std::size_t slash = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, slash);
  parts->object = slash == std::string::npos ? "/" : rest.substr(slash);
  if (!parts->object.empty() && parts->object[0] != '/')
    parts->object = "/" + parts->object;

  // user:password@ goes before the host.
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
    authority = authority.substr(at + 1);
  }
  std::string host = authority;
  std::string port_text;
  if (!authority.empty() && authority[0] == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string::npos)
      return false;
    host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':')
        return false;
      port_text = authority.substr(close + 2);
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    port_text = authority.substr(colon + 1);
  }
  if (host.empty())
    return false;
  parts->server = host;
  if (!port_text.empty()) {
    std::size_t used = 0;
    std::int32_t port = 0;
    if (!ScanInt(port_text, &port, &used) || used != port_text.size() || port <= 0 ||
        port > 65535 || port_text[0] == '+' || port_text[0] == '-') {
      return false;
    }
    parts->port = port;
  }
  return true;
}

std::string CheckProviderAddress(std::string* address) {
  UrlParts parts;
  bool split = SplitUrl(*address, &parts);
  if (!parts.http) {
    *address = "http://" + *address;
    split = SplitUrl(*address, &parts);
  }
  if (!parts.http)
    return "The resource must be a legal web address";
  if (!split)
    return "Unable to parse this web address";
  if (parts.object != "/")
    return "Object must be a directory";
  if (parts.port != 80)
    return "Non-standard port settings not currently supported";
  return {};
}

}  // namespace gantrell
