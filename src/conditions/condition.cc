#include "conditions/condition.h"

#include <cstddef>
#include <typeinfo>

#include "conditions/compound_condition.h"
#include "conditions/null_condition.h"
#include "conditions/reg_condition.h"
#include "conditions/win_ver_condition.h"

namespace gantrell {

std::unique_ptr<CCondition> CreateCondition(std::string_view keyword) {
  if (keyword == "NULL")
    return std::make_unique<CNullCondition>();
  if (keyword == "REG")
    return std::make_unique<CRegCondition>();
  if (keyword == "CP")
    return std::make_unique<CCompoundCondition>();
  if (keyword == "WINV")
    return std::make_unique<CWinVerCondition>();
  return nullptr;
}

std::unique_ptr<CCondition> MakeUnreadableCondition() {
  auto never = std::make_unique<CCompoundCondition>();
  never->m_strName = "unreadable";
  never->m_nCombination = CCompoundCondition::kAnyOf;
  return never;
}

bool ConditionsEqual(const CCondition& a, const CCondition& b) {
  if (typeid(a) != typeid(b) || a.m_strName != b.m_strName)
    return false;
  if (auto* reg = dynamic_cast<const CRegCondition*>(&a)) {
    const auto& other = static_cast<const CRegCondition&>(b);
    return reg->m_nRoot == other.m_nRoot && reg->m_nInvert == other.m_nInvert &&
           reg->m_strKeyPath == other.m_strKeyPath && reg->m_strValueName == other.m_strValueName &&
           reg->m_strCompareValue == other.m_strCompareValue &&
           reg->m_nCompareType == other.m_nCompareType;
  }
  if (auto* ver = dynamic_cast<const CWinVerCondition*>(&a)) {
    const auto& other = static_cast<const CWinVerCondition&>(b);
    return ver->m_nLevel9x == other.m_nLevel9x && ver->m_nLevelNt == other.m_nLevelNt &&
           ver->m_nCompare9x == other.m_nCompare9x && ver->m_nCompareNt == other.m_nCompareNt &&
           ver->m_nInvert == other.m_nInvert;
  }
  if (auto* compound = dynamic_cast<const CCompoundCondition*>(&a)) {
    const auto& other = static_cast<const CCompoundCondition&>(b);
    if (compound->m_nCombination != other.m_nCombination ||
        compound->m_nInvert != other.m_nInvert ||
        compound->m_members.size() != other.m_members.size()) {
      return false;
    }
    for (std::size_t i = 0; i < compound->m_members.size(); ++i) {
      if (!ConditionsEqual(*compound->m_members[i], *other.m_members[i]))
        return false;
    }
    return true;
  }
  return true;  // NULL conditions have nothing beyond the name
}

}  // namespace gantrell
