#include "conditions/compound_condition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "condition_test_util.h"
#include "conditions/reg_condition.h"
#include "conditions/win_ver_condition.h"
#include "support/memory_registry.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

std::string Describe(std::int32_t combination, std::int32_t invert,
                     const std::vector<bool>& members) {
  std::string text =
      "CPT " + std::to_string(combination) + " INV " + std::to_string(invert) + " members";
  for (bool member : members)
    text += member ? " T" : " F";
  return text;
}

TEST(CompoundConditionTest, CombinesEveryMemberExactlyOnce) {
  struct Case {
    std::int32_t combination;
    std::vector<bool> members;
    bool expected;  // before inversion
  };
  const Case cases[] = {
      {0, {}, true},
      {0, {true, true}, true},
      {0, {false, true, true}, false},
      {0, {true, true, false}, false},
      {1, {}, false},
      {1, {false, false}, false},
      {1, {true, false, false}, true},
      {1, {false, false, true}, true},
      {2, {}, true},
      {2, {true}, false},
      {2, {true, true}, true},
      {2, {true, false, true, true}, false},
      {2, {false, false}, true},
      // Any other combination is all-of.
      {3, {true, false}, false},
      {-1, {}, true},
      {7, {true, true}, true},
  };
  testing::MemoryRegistry registry;
  testing::FixedOsVersion version;
  const ConditionEnv env{registry, version};
  for (const Case& c : cases) {
    for (std::int32_t invert : {0, 1, 2, -1}) {
      CCompoundCondition compound;
      compound.m_nCombination = c.combination;
      compound.m_nInvert = invert;
      std::vector<int> evaluations(c.members.size(), 0);
      for (std::size_t i = 0; i < c.members.size(); ++i) {
        compound.m_members.push_back(
            std::make_unique<testing::FixedCondition>(c.members[i], &evaluations[i]));
      }
      // Only an invert field of exactly 1 negates a compound.
      const bool expected = invert == 1 ? !c.expected : c.expected;
      EXPECT_EQ(compound.Evaluate(env), expected) << Describe(c.combination, invert, c.members);
      for (int count : evaluations) {
        EXPECT_EQ(count, 1) << Describe(c.combination, invert, c.members);
      }
    }
  }
}

// A compound read from text, with a registry test and a version test, on a
// Windows XP machine whose registry files hold the tested value.
TEST(CompoundConditionTest, CombinesRegistryAndVersionTests) {
  testing::TempRegistry registry;
  registry.SetDword(RegRoot::kCurrentUser, "Software\\Vendor\\App", "Version", 10);
  OsVersionInfo xp;
  xp.platform_id = kVerPlatformWin32Nt;
  xp.major = 5;
  xp.minor = 1;
  testing::FixedOsVersion version(xp);
  const ConditionEnv env{registry.registry(), version};

  struct Case {
    std::string reg_compare;  // CPT of the registry test
    std::string nt_level;     // VNT of the version test, exact match
    std::string combination;
    bool expected;
  };
  const Case cases[] = {
      {"3", "3", "1", true},  {"3", "1", "1", true},  {"1", "3", "1", true},
      {"1", "1", "1", false}, {"3", "3", "0", true},  {"3", "1", "0", false},
      {"3", "3", "2", true},  {"3", "1", "2", false}, {"1", "1", "2", true},
  };
  for (const Case& c : cases) {
    const std::string text = "CP CPT " + c.combination +
                             " REG KRT 2 PTH \"Software\\Vendor\\App\" KNME Version CPV 9 CPT " +
                             c.reg_compare + " END WINV VNT " + c.nt_level + " END END";
    std::string rest;
    std::unique_ptr<CCondition> condition = testing::ReadCondition(text, &rest);
    ASSERT_NE(condition, nullptr) << text;
    EXPECT_EQ(condition->Evaluate(env), c.expected) << text;
    EXPECT_EQ(condition->Clone()->Evaluate(env), c.expected) << text;
  }
}

}  // namespace
}  // namespace gantrell
