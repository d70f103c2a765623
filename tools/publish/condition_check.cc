#include "condition_check.h"

#include <algorithm>
#include <array>
#include <memory>
#include <sstream>
#include <vector>

#include "conditions/condition.h"
#include "conditions/condition_text.h"
#include "model/number_scan.h"
#include "model/token_reader.h"

namespace gantrell::publish {

namespace {

// The longest kind keyword the control file parser keeps after "COND".
constexpr int kKindLength = 15;
// Hand-written conditions nest a level or two; anything deeper is a slip.
constexpr int kMaxDepth = 16;

struct ConditionKind {
  std::string_view keyword;
  std::vector<std::string_view> text_keys;
  std::vector<std::string_view> number_keys;
};

const std::array<ConditionKind, 4>& Kinds() {
  static const std::array<ConditionKind, 4> kinds = {{
      {"NULL", {}, {}},
      {"REG", {"NME", "PTH", "KNME", "CPV"}, {"KRT", "INV", "CPT"}},
      {"WINV", {"NME"}, {"V9X", "VNT", "CP9X", "CPNT", "INV"}},
      {"CP", {"NME"}, {"CPT", "INV"}},
  }};
  return kinds;
}

const ConditionKind* FindKind(std::string_view keyword) {
  for (const ConditionKind& kind : Kinds()) {
    if (kind.keyword == keyword)
      return &kind;
  }
  return nullptr;
}

bool Contains(const std::vector<std::string_view>& keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::string KeyList(const ConditionKind& kind) {
  std::string list;
  for (const auto* keys : {&kind.text_keys, &kind.number_keys}) {
    for (std::string_view key : *keys)
      list += (list.empty() ? "" : ", ") + std::string(key);
  }
  return list;
}

class StrictChecker {
 public:
  explicit StrictChecker(std::vector<std::string> tokens) : m_tokens(std::move(tokens)) {}

  bool Check(std::string* error) {
    if (m_tokens.empty()) {
      *error = "the condition is empty";
      return false;
    }
    if (!CheckCondition(0, error))
      return false;
    if (m_pos < m_tokens.size()) {
      *error = "unexpected '" + m_tokens[m_pos] + "' after the end of the condition";
      return false;
    }
    return true;
  }

 private:
  // Checks the condition whose kind keyword stands at the current token.
  bool CheckCondition(int depth, std::string* error) {
    const std::string& keyword = m_tokens[m_pos++];
    const ConditionKind* kind = FindKind(keyword);
    if (kind == nullptr) {
      *error = "unknown condition kind '" + keyword + "' (NULL, REG, WINV or CP)";
      return false;
    }
    if (kind->keyword == "NULL")
      return true;  // NULL has no pairs and no END of its own
    const std::string name(kind->keyword);
    std::vector<std::string> seen;
    for (;;) {
      if (m_pos >= m_tokens.size()) {
        *error = "the " + name + " condition has no closing END";
        return false;
      }
      const std::string& key = m_tokens[m_pos++];
      if (key == "END")
        return true;
      if (kind->keyword == "CP" && FindKind(key) != nullptr) {
        if (depth + 1 >= kMaxDepth) {
          *error = "conditions nest more than " + std::to_string(kMaxDepth) + " deep";
          return false;
        }
        --m_pos;
        if (!CheckCondition(depth + 1, error))
          return false;
        continue;
      }
      const bool is_text = Contains(kind->text_keys, key);
      if (!is_text && !Contains(kind->number_keys, key)) {
        *error = "unknown key '" + key + "' in a " + name + " condition (it takes " +
                 KeyList(*kind) + (kind->keyword == "CP" ? " and member conditions)" : ")");
        return false;
      }
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
        *error = key + " is given twice in a " + name + " condition";
        return false;
      }
      seen.push_back(key);
      if (m_pos >= m_tokens.size() || m_tokens[m_pos] == "END") {
        *error = key + " has no value in a " + name + " condition";
        return false;
      }
      const std::string& value = m_tokens[m_pos++];
      if (!CheckValue(key, value, is_text, error))
        return false;
    }
  }

  static bool CheckValue(const std::string& key, const std::string& value, bool is_text,
                         std::string* error) {
    if (!is_text) {
      std::int32_t number = 0;
      std::size_t consumed = 0;
      if (!ScanInt(value, &number, &consumed) || consumed != value.size()) {
        *error = key + " needs a whole number, not '" + value + "'";
        return false;
      }
      return true;
    }
    if (value.size() > static_cast<std::size_t>(kConditionValueLength)) {
      *error = "the value of " + key + " is longer than the " +
               std::to_string(kConditionValueLength) + " characters clients keep";
      return false;
    }
    if (value.find('"') != std::string::npos) {
      *error = "the value of " + key + " holds a double quote, which clients cannot read back";
      return false;
    }
    return true;
  }

  std::vector<std::string> m_tokens;
  std::size_t m_pos = 0;
};

// The tokens of `text` as the client's reader splits them, kept whole.
std::vector<std::string> Tokens(std::string_view text) {
  CStringTokenReader reader{std::string(text)};
  std::vector<std::string> tokens;
  std::string token;
  const int limit = static_cast<int>(text.size()) + 1;
  while (reader.ReadToken(&token, limit))
    tokens.push_back(token);
  return tokens;
}

// Reads one condition the way the control file parser does after "COND".
std::unique_ptr<CCondition> ClientRead(const std::string& text) {
  CStringTokenReader reader(text);
  std::string kind;
  if (!reader.ReadToken(&kind, kKindLength))
    return nullptr;
  std::unique_ptr<CCondition> condition = CreateCondition(kind);
  if (condition != nullptr)
    condition->Parse(reader);
  return condition;
}

std::string Trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool CanonicalCondition(std::string_view text, std::string* canonical, std::string* error) {
  if (std::count(text.begin(), text.end(), '"') % 2 != 0) {
    *error = "the condition has a double quote that is never closed";
    return false;
  }
  StrictChecker checker(Tokens(text));
  if (!checker.Check(error))
    return false;

  const std::unique_ptr<CCondition> condition = ClientRead(std::string(text));
  if (condition == nullptr) {
    *error = "clients do not read this condition";
    return false;
  }
  std::ostringstream written;
  condition->Write(written);
  *canonical = Trimmed(written.str());
  const std::unique_ptr<CCondition> again = ClientRead(*canonical);
  if (again == nullptr || !ConditionsEqual(*condition, *again)) {
    *error = "the condition does not read back the same once written";
    return false;
  }
  return true;
}

}  // namespace gantrell::publish
