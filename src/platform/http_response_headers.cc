#include "platform/http_response_headers.h"

namespace gantrell {

std::int64_t HttpWholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 18)
    return -1;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

void ReadContentRange(const std::string& value, HttpResponseInfo* response) {
  response->range_first = -1;
  response->range_total = -1;
  constexpr std::string_view kUnit = "bytes ";
  std::string_view text = value;
  if (text.size() < kUnit.size())
    return;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != kUnit[i])
      return;
  }
  text.remove_prefix(kUnit.size());
  if (text.size() > 2 && text.substr(0, 2) == "*/") {
    // A refusal (416) names the whole length only.
    response->range_total = HttpWholeNumber(text.substr(2));
    return;
  }
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return;
  const std::int64_t first = HttpWholeNumber(text.substr(0, dash));
  const std::int64_t last = HttpWholeNumber(text.substr(dash + 1, slash - dash - 1));
  const std::string_view total_text = text.substr(slash + 1);
  const std::int64_t total = total_text == "*" ? -1 : HttpWholeNumber(total_text);
  if (first < 0 || last < first || (total_text != "*" && (total < 0 || last >= total)))
    return;
  response->range_first = first;
  response->range_total = total;
}

}  // namespace gantrell
