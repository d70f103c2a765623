#include "conditions/win_ver_condition.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "condition_test_util.h"
#include "support/memory_registry.h"

namespace gantrell {
namespace {

struct Machine {
  std::uint32_t platform_id;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  std::optional<std::int32_t> level;
};

std::ostream& operator<<(std::ostream& out, const Machine& m) {
  return out << "platform " << m.platform_id << " version " << m.major << "." << m.minor
             << " build " << m.build;
}

// What the 95/98/Me family reports in its build field: the major and minor
// version in the upper 16 bits.
std::uint32_t Build9x(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  return (major << 24) | (minor << 16) | build;
}

constexpr std::uint32_t k9x = kVerPlatformWin32Windows;
constexpr std::uint32_t kNt = kVerPlatformWin32Nt;

const Machine kMachines[] = {
    {k9x, 4, 0, 949, std::nullopt},
    {k9x, 4, 0, 950, 0},
    {k9x, 4, 0, 951, 1},
    {k9x, 4, 0, 1080, 1},
    {k9x, 4, 0, 1081, 2},
    {k9x, 4, 0, 1212, 2},
    {k9x, 4, 1, 1998, 3},
    {k9x, 4, 10, 1997, std::nullopt},
    {k9x, 4, 10, 1998, 3},
    {k9x, 4, 10, 1999, 4},
    {k9x, 4, 10, 2182, 4},
    {k9x, 4, 10, 2183, 5},
    {k9x, 4, 10, 2222, 5},
    {k9x, 4, 89, 2183, 5},
    {k9x, 4, 90, 3000, 6},
    {k9x, 4, 90, 0, 6},
    {k9x, 4, 200, 0, 6},
    {k9x, 3, 0, 950, std::nullopt},
    {k9x, 5, 0, 950, std::nullopt},
    {kNt, 3, 51, 1057, 0},
    {kNt, 3, 50, 807, std::nullopt},
    {kNt, 3, 10, 528, std::nullopt},
    {kNt, 4, 0, 1381, 1},
    {kNt, 4, 90, 0, 1},
    {kNt, 5, 0, 2195, 2},
    {kNt, 5, 1, 2600, 3},
    {kNt, 5, 2, 3790, 3},
    {kNt, 6, 0, 6000, std::nullopt},
    {kNt, 6, 1, 7601, std::nullopt},
    {kNt, 10, 0, 19045, std::nullopt},
    {kNt, 2, 0, 0, std::nullopt},
    // Every platform id other than 1 is rated as the NT family.
    {kVerPlatformWin32s, 5, 1, 0, 3},
    {3, 4, 0, 0, 1},
};

// A condition that uses `level` and `compare` for the machine's family and
// the opposite of a match for the other family, so using the wrong family's
// fields shows.
CWinVerCondition ConditionFor(const Machine& m, std::int32_t level, std::int32_t compare) {
  CWinVerCondition condition;
  const bool family_9x = m.platform_id == k9x;
  (family_9x ? condition.m_nLevel9x : condition.m_nLevelNt) = level;
  (family_9x ? condition.m_nCompare9x : condition.m_nCompareNt) = compare;
  (family_9x ? condition.m_nLevelNt : condition.m_nLevel9x) = 99;
  (family_9x ? condition.m_nCompareNt : condition.m_nCompare9x) = 3;
  return condition;
}

bool Evaluate(const CWinVerCondition& condition, const OsVersionInfo& info) {
  testing::MemoryRegistry registry;
  testing::FixedOsVersion version(info);
  return condition.Evaluate(ConditionEnv{registry, version});
}

OsVersionInfo InfoFor(const Machine& m, bool full_build_field) {
  OsVersionInfo info;
  info.platform_id = m.platform_id;
  info.major = m.major;
  info.minor = m.minor;
  info.build =
      full_build_field && m.platform_id == k9x ? Build9x(m.major, m.minor, m.build) : m.build;
  return info;
}

// Each row with its build field as given and as the 95/98/Me family really
// reports it (major and minor in the upper half): Windows 98 build 1998 must
// not rate as a later build.
TEST(WinVerConditionTest, RatesEachReleaseAndAppliesTheCompareType) {
  for (const Machine& m : kMachines) {
    for (bool full_build_field : {false, true}) {
      const OsVersionInfo info = InfoFor(m, full_build_field);
      EXPECT_EQ(CWinVerCondition::MachineLevel(info), m.level) << m;
      for (std::int32_t level = -2; level <= 8; ++level) {
        for (std::int32_t compare : {0, 1, 2, 3, 4, -1}) {
          const bool holds = m.level && compare != 3 &&
                             (*m.level == level || (compare == 1 && *m.level < level) ||
                              (compare == 2 && *m.level > level));
          CWinVerCondition condition = ConditionFor(m, level, compare);
          EXPECT_EQ(Evaluate(condition, info), holds)
              << m << " level " << level << " compare " << compare << " full " << full_build_field;
          condition.m_nInvert = compare - 1;  // 0 keeps, any other value negates
          EXPECT_EQ(Evaluate(condition, info), condition.m_nInvert != 0 ? !holds : holds)
              << m << " level " << level << " compare " << compare << " inverted";
        }
      }
    }
  }
}

TEST(WinVerConditionTest, AFailedVersionQueryDoesNotHold) {
  testing::MemoryRegistry registry;
  testing::FixedOsVersion failing;
  const ConditionEnv env{registry, failing};
  CWinVerCondition condition;
  condition.m_nCompareNt = 2;
  condition.m_nCompare9x = 2;
  EXPECT_FALSE(condition.Evaluate(env));
  condition.m_nInvert = -5;
  EXPECT_TRUE(condition.Evaluate(env));
}

}  // namespace
}  // namespace gantrell
