#include "conditions/condition_text.h"

#include "model/number_scan.h"
#include "model/token_reader.h"

namespace gantrell {
void StoreConditionInt(std::string_view value, std::int32_t* field) {
  ScanInt(value, field);
}

bool ReadConditionPairs(
    CTokenReader& reader,
    const std::function<void(const std::string& key, const std::string& value)>& store) {
  std::string key;
  std::string value;
  for (;;) {
    if (!reader.ReadToken(&key, kConditionKeyLength))
      return false;
    if (key == "END")
      return true;
    if (!reader.ReadToken(&value, kConditionValueLength))
      return false;
    if (value == "END")
      return true;
    store(key, value);
  }
}

void WriteConditionText(std::ostream& out, std::string_view text) {
  if (text.find('"') == std::string_view::npos) {
    out << '"' << text << '"';
    return;
  }
  if (text.find(' ') == std::string_view::npos && text.front() != '"') {
    out << text;
    return;
  }
  out << '"';
  for (char c : text) {
    if (c != '"')
      out << c;
  }
  out << '"';
}

}  // namespace gantrell
