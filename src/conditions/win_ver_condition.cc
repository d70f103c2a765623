#include "conditions/win_ver_condition.h"

#include <string>

#include "conditions/condition_text.h"
#include "platform/os_version.h"

namespace gantrell {
namespace {

std::optional<std::int32_t> Level9x(const OsVersionInfo& info) {
  if (info.major != 4)
    return std::nullopt;
  if (info.minor >= 90)
    return 6;
  // The family puts major and minor in the upper half of the build field;
  // compared whole, Windows 98 build 1998 would rate as a later build.
  const std::uint32_t build = info.build & 0xFFFF;
  if (info.minor == 0) {
    if (build < 950)
      return std::nullopt;
    if (build == 950)
      return 0;
    if (build <= 1080)
      return 1;
    return 2;
  }
  if (build < 1998)
    return std::nullopt;
  if (build == 1998)
    return 3;
  if (build < 2183)
    return 4;
  return 5;
}

std::optional<std::int32_t> LevelNt(const OsVersionInfo& info) {
  if (info.major == 3 && info.minor == 51)
    return 0;
  if (info.major == 4)
    return 1;
  if (info.major == 5)
    return info.minor == 0 ? 2 : 3;
  return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> CWinVerCondition::MachineLevel(const OsVersionInfo& info) {
  return info.platform_id == kVerPlatformWin32Windows ? Level9x(info) : LevelNt(info);
}

bool CWinVerCondition::Evaluate(const ConditionEnv& env) const {
  bool holds = false;
  OsVersionInfo info;
  if (env.os_version.Query(&info)) {
    const bool family_9x = info.platform_id == kVerPlatformWin32Windows;
    const std::int32_t wanted = family_9x ? m_nLevel9x : m_nLevelNt;
    const std::int32_t compare = family_9x ? m_nCompare9x : m_nCompareNt;
    const std::optional<std::int32_t> level = MachineLevel(info);
    if (compare != kNotThisFamily && level) {
      holds = *level == wanted || (compare == kOrEarlier && *level < wanted) ||
              (compare == kOrLater && *level > wanted);
    }
  }
  return m_nInvert != 0 ? !holds : holds;
}

bool CWinVerCondition::Parse(CTokenReader& reader) {
  return ReadConditionPairs(reader, [this](const std::string& key, const std::string& value) {
    if (key == "NME") {
      m_strName = value;
    } else if (key == "V9X") {
      StoreConditionInt(value, &m_nLevel9x);
    } else if (key == "VNT") {
      StoreConditionInt(value, &m_nLevelNt);
    } else if (key == "CP9X") {
      StoreConditionInt(value, &m_nCompare9x);
    } else if (key == "CPNT") {
      StoreConditionInt(value, &m_nCompareNt);
    } else if (key == "INV") {
      StoreConditionInt(value, &m_nInvert);
    }
  });
}

void CWinVerCondition::Write(std::ostream& out) const {
  out << " WINV NME ";
  WriteConditionText(out, m_strName);
  out << " V9X " << std::to_string(m_nLevel9x) << " VNT " << std::to_string(m_nLevelNt) << " CP9X "
      << std::to_string(m_nCompare9x) << " CPNT " << std::to_string(m_nCompareNt) << " INV "
      << std::to_string(m_nInvert) << " END ";
}

std::unique_ptr<CCondition> CWinVerCondition::Clone() const {
  return std::make_unique<CWinVerCondition>(*this);
}

}  // namespace gantrell
