#include "app/address_check.h"

#include <algorithm>
#include <string_view>

#include "model/store_format.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

enum class AddressFault { kNone, kScheme, kMalformed, kNotFolder };

struct AddressVerdict {
  AddressFault fault;
  std::string reason;
};

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == '[' || c == ']';
}

AddressVerdict JudgeAddress(const std::string& address) {
  std::string_view rest = address;
  if (rest.rfind("http://", 0) == 0) {
    rest.remove_prefix(7);
  } else if (rest.rfind("https://", 0) == 0) {
    rest.remove_prefix(8);
  } else {
    return {AddressFault::kScheme, Tr("it does not start with http:// or https://")};
  }
  for (char c : address) {
    // Blanks would split the address where several are handed over
    // together (" * "), and quotes and control characters have no place in
    // an address.
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == 0x7f) {
      return {AddressFault::kMalformed, Tr("it holds a blank, a quote or a control character")};
    }
  }
  if (address.size() > kStoredAddressLimit)
    return {AddressFault::kMalformed,
            Subst(Tr("it is longer than %1 characters"), {std::to_string(kStoredAddressLimit)})};
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos)
    return {AddressFault::kNotFolder, Tr("it names no folder (add a closing \"/\")")};
  std::string_view host = rest.substr(0, slash);
  if (host.find('@') != std::string_view::npos)
    return {AddressFault::kMalformed, Tr("it holds a user name")};
  if (const std::size_t colon = host.rfind(':');
      colon != std::string_view::npos && host.find(']') == std::string_view::npos) {
    const std::string_view port = host.substr(colon + 1);
    int value = 0;
    for (char c : port) {
      if (c < '0' || c > '9' || value > 65535)
        return {AddressFault::kMalformed, Tr("its port is not a number from 1 to 65535")};
      value = value * 10 + (c - '0');
    }
    if (port.empty() || value == 0 || value > 65535)
      return {AddressFault::kMalformed, Tr("its port is not a number from 1 to 65535")};
    host = host.substr(0, colon);
  }
  if (host.empty())
    return {AddressFault::kMalformed, Tr("it names no server")};
  if (!std::all_of(host.begin(), host.end(), IsHostCharacter))
    return {AddressFault::kMalformed, Tr("its server name is not valid")};
  if (address.find_first_of("?#") != std::string::npos)
    return {AddressFault::kNotFolder, Tr("it holds a query or a fragment")};
  if (address.back() != '/')
    return {AddressFault::kNotFolder, Tr("it does not end with \"/\"")};
  return {AddressFault::kNone, {}};
}


// The length of the scheme, if the address has one: letters, digits, "+",
// "-" or "." before "://"; 0 when it has none.
std::size_t SchemeLength(const std::string& address) {
  const std::size_t colon = address.find("://");
  if (colon == std::string::npos || colon == 0)
    return 0;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = address[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok)
      return 0;
  }
  return colon;
}

}  // namespace

std::string AddressProblem(const std::string& address) {
  return JudgeAddress(address).reason;
}

std::string CheckProviderAddress(std::string* address) {
  constexpr const char* kSpace = " \t\r\n";
  const std::size_t first = address->find_first_not_of(kSpace);
  *address = first == std::string::npos
                 ? std::string()
                 : address->substr(first, address->find_last_not_of(kSpace) - first + 1);
  std::size_t scheme = SchemeLength(*address);
  if (scheme == 0) {
    *address = "http://" + *address;
    scheme = 4;
  }
  for (std::size_t i = 0; i < scheme; ++i) {
    char& c = (*address)[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  // A server named without a folder stands for its root.
  if (address->find('/', scheme + 3) == std::string::npos)
    *address += '/';
  switch (JudgeAddress(*address).fault) {
    case AddressFault::kNone:
      return {};
    case AddressFault::kScheme:
      return Tr("The resource must be a legal web address");
    case AddressFault::kNotFolder:
      return Tr("Object must be a directory");
    case AddressFault::kMalformed:
      break;
  }
  return Tr("Unable to parse this web address");
}

}  // namespace gantrell
