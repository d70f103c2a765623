#include "conditions/reg_condition.h"

#include <optional>
#include <string>
#include <string_view>

#include "conditions/condition_text.h"
#include "model/number_scan.h"
#include "platform/registry.h"

namespace gantrell {
namespace {

std::optional<RegRoot> RootForCode(std::int32_t code) {
  switch (code) {
    case 0:
      return RegRoot::kClassesRoot;
    case 1:
      return RegRoot::kLocalMachine;
    case 2:
      return RegRoot::kCurrentUser;
    case 3:
      return RegRoot::kPerformanceData;
    case 4:
      return RegRoot::kDynData;
    case 5:
    case 6:  // 6 has always meant the users root as well, not the current config
      return RegRoot::kUsers;
    default:
      return std::nullopt;
  }
}

// Applies the compare type to the outcome of a three-way comparison.
bool Compare(std::int32_t compare_type, int order) {
  switch (compare_type) {
    case CRegCondition::kExists:
      return true;
    case CRegCondition::kEqual:
      return order == 0;
    case CRegCondition::kLess:
      return order < 0;
    case CRegCondition::kGreater:
      return order > 0;
    default:
      return false;
  }
}

// The text up to its first zero byte, as a C string comparison sees it.
std::string_view UpToZero(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool TestValue(const RegValue& value, std::int32_t compare_type, const std::string& compare_value) {
  switch (value.type) {
    case kRegNone:
    case kRegBinary:
    case kRegLink:
    case kRegMultiSz:
    case kRegResourceList:
      return compare_type == CRegCondition::kExists;
    case kRegDword:
    case kRegDwordBigEndian: {
      if (value.data.size() != 4)
        return false;
      std::uint32_t number = 0;
      for (int i = 0; i < 4; ++i) {
        const int index = value.type == kRegDword ? 3 - i : i;
        number = (number << 8) | value.data[index];
      }
      std::uint32_t wanted = 0;  // a compare value that is no number counts as 0
      ScanUnsigned(compare_value, &wanted);
      return Compare(compare_type, number < wanted ? -1 : (number > wanted ? 1 : 0));
    }
    default: {
      const std::string_view data(reinterpret_cast<const char*>(value.data.data()),
                                  value.data.size());
      // char_traits<char> orders bytes as unsigned characters, as strcmp does.
      const int order = UpToZero(data).compare(UpToZero(compare_value));
      return Compare(compare_type, order);
    }
  }
}

}  // namespace

bool CRegCondition::Evaluate(const ConditionEnv& env) const {
  bool holds = false;
  if (std::optional<RegRoot> root = RootForCode(m_nRoot)) {
    RegValue value;
    if (env.registry.QueryValue(*root, m_strKeyPath, m_strValueName, &value)) {
      holds = TestValue(value, m_nCompareType, m_strCompareValue);
    }
  }
  return m_nInvert != 0 ? !holds : holds;
}

bool CRegCondition::Parse(CTokenReader& reader) {
  return ReadConditionPairs(reader, [this](const std::string& key, const std::string& value) {
    if (key == "NME") {
      m_strName = value;
    } else if (key == "KRT") {
      StoreConditionInt(value, &m_nRoot);
    } else if (key == "INV") {
      StoreConditionInt(value, &m_nInvert);
    } else if (key == "PTH") {
      m_strKeyPath = value;
    } else if (key == "KNME") {
      m_strValueName = value;
    } else if (key == "CPV") {
      m_strCompareValue = value;
    } else if (key == "CPT") {
      StoreConditionInt(value, &m_nCompareType);
    }
  });
}

void CRegCondition::Write(std::ostream& out) const {
  out << " REG NME ";
  WriteConditionText(out, m_strName);
  out << " KRT " << std::to_string(m_nRoot) << " INV " << std::to_string(m_nInvert) << " PTH ";
  WriteConditionText(out, m_strKeyPath);
  out << " KNME ";
  WriteConditionText(out, m_strValueName);
  out << " CPV ";
  WriteConditionText(out, m_strCompareValue);
  out << " CPT " << std::to_string(m_nCompareType) << " END ";
}

std::unique_ptr<CCondition> CRegCondition::Clone() const {
  return std::make_unique<CRegCondition>(*this);
}

}  // namespace gantrell
