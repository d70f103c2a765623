// Reading and writing condition text: the exact written forms, the reader's
// tolerance of odd input, and write/read round trips of random conditions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "condition_test_util.h"
#include "conditions/compound_condition.h"
#include "conditions/condition.h"
#include "conditions/null_condition.h"
#include "conditions/reg_condition.h"
#include "conditions/win_ver_condition.h"
#include "support/memory_registry.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadCondition;
using testing::WriteCondition;

template <typename T>
const T& As(const std::unique_ptr<CCondition>& condition) {
  const T* typed = dynamic_cast<const T*>(condition.get());
  if (typed == nullptr)
    ADD_FAILURE() << "condition of the wrong kind";
  static const T kEmpty;
  return typed != nullptr ? *typed : kEmpty;
}

TEST(CreateConditionTest, KnowsExactlyTheFourKeywords) {
  EXPECT_NE(dynamic_cast<CNullCondition*>(CreateCondition("NULL").get()), nullptr);
  EXPECT_NE(dynamic_cast<CRegCondition*>(CreateCondition("REG").get()), nullptr);
  EXPECT_NE(dynamic_cast<CCompoundCondition*>(CreateCondition("CP").get()), nullptr);
  EXPECT_NE(dynamic_cast<CWinVerCondition*>(CreateCondition("WINV").get()), nullptr);
  for (const char* keyword : {"", "null", "Reg", "cp", "WINV ", "END", "COND", "REGX"}) {
    EXPECT_EQ(CreateCondition(keyword), nullptr) << keyword;
  }
}

TEST(ConditionWriteTest, WritesTheExactTextOfEachKind) {
  CRegCondition reg;
  reg.m_strName = "has value";
  reg.m_nRoot = 2;
  reg.m_nInvert = -1;
  reg.m_strKeyPath = "Software\\Vendor\\App";
  reg.m_strValueName = "Version";
  reg.m_strCompareValue = "10";
  reg.m_nCompareType = 3;
  EXPECT_EQ(WriteCondition(reg),
            " REG NME \"has value\" KRT 2 INV -1 PTH \"Software\\Vendor\\App\" KNME \"Version\" "
            "CPV \"10\" CPT 3 END ");

  CWinVerCondition ver;
  ver.m_strName = "xp or later";
  ver.m_nLevel9x = 0;
  ver.m_nLevelNt = 3;
  ver.m_nCompare9x = 3;
  ver.m_nCompareNt = 2;
  ver.m_nInvert = 1;
  EXPECT_EQ(WriteCondition(ver), " WINV NME \"xp or later\" V9X 0 VNT 3 CP9X 3 CPNT 2 INV 1 END ");

  EXPECT_EQ(WriteCondition(CNullCondition()), " NULL ");

  CCompoundCondition empty;
  EXPECT_EQ(WriteCondition(empty), " CP NME \"\" CPT 0 INV 0 END ");
}

// The provider store in the shared vectors was written by a separate program;
// its nested compound must read and write back to the very same text.
TEST(ConditionWriteTest, MatchesTheIndependentlyWrittenStore) {
  const std::string store = testing::ReadWholeFile(testing::VectorPath("store-v3-provdata.dat"));
  const std::size_t start = store.find("COND  CP");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = store.find("END END END FILE", start);
  ASSERT_NE(end, std::string::npos);
  const std::string text = store.substr(start + 5, end + 8 - (start + 5));

  std::string rest;
  std::unique_ptr<CCondition> condition = ReadCondition(text + "END FILE", &rest);
  ASSERT_NE(condition, nullptr);
  EXPECT_EQ(rest, "END");  // the item's own END is left for the store
  EXPECT_EQ(WriteCondition(*condition), text);

  const auto& outer = As<CCompoundCondition>(condition);
  EXPECT_EQ(outer.m_strName, "either");
  EXPECT_EQ(outer.m_nCombination, CCompoundCondition::kAnyOf);
  ASSERT_EQ(outer.m_members.size(), 2u);
  const auto& reg = As<CRegCondition>(outer.m_members[0]);
  EXPECT_EQ(reg.m_strKeyPath, "Software\\Vendor\\App");
  EXPECT_EQ(reg.m_nCompareType, 3);
  const auto& inner = As<CCompoundCondition>(outer.m_members[1]);
  EXPECT_EQ(inner.m_nCombination, CCompoundCondition::kParity);
  EXPECT_EQ(inner.m_nInvert, 1);
  ASSERT_EQ(inner.m_members.size(), 2u);
  EXPECT_EQ(As<CWinVerCondition>(inner.m_members[0]).m_strName, "xp or later");
  As<CNullCondition>(inner.m_members[1]);
}

TEST(ConditionParseTest, FlatKindsAcceptAnyOrderRepeatsAndUnknownKeys) {
  std::string rest;
  auto condition = ReadCondition(
      "REG CPT 1 FOO bar KRT 5 PTH \"a b\\c\" KRT 0x2 KNME \"\" XYZ \"q r\" CPV \"1 2\" NME n "
      "INV 010 INV no CPT - KRT zz END NEXT",
      &rest);
  const auto& reg = As<CRegCondition>(condition);
  EXPECT_EQ(reg.m_strName, "n");
  EXPECT_EQ(reg.m_nRoot, 2);
  EXPECT_EQ(reg.m_nInvert, 8);
  EXPECT_EQ(reg.m_strKeyPath, "a b\\c");
  EXPECT_EQ(reg.m_strValueName, "");
  EXPECT_EQ(reg.m_strCompareValue, "1 2");
  EXPECT_EQ(reg.m_nCompareType, 1);
  EXPECT_EQ(rest, "NEXT");

  condition = ReadCondition("WINV INV 1 VNT 3 CPNT 2 V9X 4 CP9X 1 NME w VNT 2 END NEXT", &rest);
  const auto& ver = As<CWinVerCondition>(condition);
  EXPECT_EQ(ver.m_strName, "w");
  EXPECT_EQ(ver.m_nLevel9x, 4);
  EXPECT_EQ(ver.m_nLevelNt, 2);
  EXPECT_EQ(ver.m_nCompare9x, 1);
  EXPECT_EQ(ver.m_nCompareNt, 2);
  EXPECT_EQ(ver.m_nInvert, 1);
  EXPECT_EQ(rest, "NEXT");
}

// Where reading stops, and what the caller gets to read next.
TEST(ConditionParseTest, StopsAtEndAsKeyOrValueAndAtEndOfInput) {
  struct Case {
    std::string input;
    std::string name;
    std::int32_t root;
    std::string rest;
    bool whole;  // read up to an END of its own
  };
  const Case cases[] = {
      {"REG NME a KRT 2 END END", "a", 2, "END", true},
      {"REG NME a KRT END KRT 2 END", "a", 0, "KRT", true},  // END is never a value
      {"REG NME END", "", 0, "<end>", true},
      {"REG NME a KRT 2", "a", 2, "<end>", false},
      {"REG NME a KRT", "a", 0, "<end>", false},
      {"REG NME a KRT 2 PTH \"never closed", "a", 2, "<end>", false},
      {"REG", "", 0, "<end>", false},
      {"REG \"END\" x", "", 0, "x", true},
  };
  for (const Case& c : cases) {
    std::string rest;
    bool whole = !c.whole;
    auto condition = ReadCondition(c.input, &rest, &whole);
    const auto& reg = As<CRegCondition>(condition);
    EXPECT_EQ(reg.m_strName, c.name) << c.input;
    EXPECT_EQ(reg.m_nRoot, c.root) << c.input;
    EXPECT_EQ(rest, c.rest) << c.input;
    EXPECT_EQ(whole, c.whole) << c.input;
  }
  // The same for the other kinds, members of a compound included.
  const std::pair<std::string, bool> others[] = {
      {"WINV V9X 1 END", true},       {"WINV V9X 1", false},          {"CP CPT 1 NULL END", true},
      {"CP CPT 1 NULL", false},       {"CP REG KRT 1 END END", true}, {"CP REG KRT 1", false},
      {"CP CP CP END END END", true}, {"CP CP CP END END", false},    {"NULL", true},
  };
  for (const auto& [input, expected] : others) {
    bool whole = !expected;
    ReadCondition(input, nullptr, &whole);
    EXPECT_EQ(whole, expected) << input;
  }
}

TEST(ConditionParseTest, CutsLongValuesAndKeys) {
  const std::string long_value(250, 'v');
  std::string rest;
  auto condition = ReadCondition("REG CPV " + long_value + " PTH \"" + long_value + "\" NME" +
                                     std::string(30, 'X') + " n END z",
                                 &rest);
  const auto& reg = As<CRegCondition>(condition);
  EXPECT_EQ(reg.m_strCompareValue, std::string(200, 'v'));
  EXPECT_EQ(reg.m_strKeyPath, std::string(200, 'v'));
  EXPECT_EQ(reg.m_strName, "");  // the long key is unknown, not NME
  EXPECT_EQ(rest, "z");
}

TEST(ConditionParseTest, NullReadsNothingSoTheCallersEndStaysUnread) {
  std::string rest;
  auto condition = ReadCondition("NULL END FILE", &rest);
  ASSERT_NE(dynamic_cast<CNullCondition*>(condition.get()), nullptr);
  EXPECT_EQ(rest, "END");

  // Inside a compound the END after NULL closes the compound.
  condition = ReadCondition("CP NULL END END", &rest);
  EXPECT_EQ(As<CCompoundCondition>(condition).m_members.size(), 1u);
  EXPECT_EQ(rest, "END");
}

TEST(ConditionParseTest, CompoundTakesMembersBetweenItsKeys) {
  std::string rest;
  auto condition = ReadCondition(
      "CP NME \"out er\" REG NME r END CPT 1 NULL JUNK skipped WINV NME w END INV 1 "
      "CP NME in END END after",
      &rest);
  const auto& compound = As<CCompoundCondition>(condition);
  EXPECT_EQ(compound.m_strName, "out er");
  EXPECT_EQ(compound.m_nCombination, 1);
  EXPECT_EQ(compound.m_nInvert, 1);
  ASSERT_EQ(compound.m_members.size(), 4u);
  EXPECT_EQ(As<CRegCondition>(compound.m_members[0]).m_strName, "r");
  As<CNullCondition>(compound.m_members[1]);
  EXPECT_EQ(As<CWinVerCondition>(compound.m_members[2]).m_strName, "w");
  EXPECT_EQ(As<CCompoundCondition>(compound.m_members[3]).m_strName, "in");
  EXPECT_EQ(rest, "after");
}

TEST(ConditionParseTest, CompoundKeepsFieldsOnBadNumbersEndValuesAndCutOffNames) {
  std::string rest;
  auto condition = ReadCondition("CP CPT 2 CPT x INV 1 INV ? NME first NME END x", &rest);
  EXPECT_EQ(As<CCompoundCondition>(condition).m_strName, "first");
  EXPECT_EQ(As<CCompoundCondition>(condition).m_nCombination, 2);
  EXPECT_EQ(As<CCompoundCondition>(condition).m_nInvert, 1);
  EXPECT_EQ(rest, "x");

  condition = ReadCondition("CP NME first NME \"unclosed", &rest);
  EXPECT_EQ(As<CCompoundCondition>(condition).m_strName, "first");
}

// Builds `depth` compounds nested in each other, each also holding a REG.
std::string NestedText(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i)
    text += " CP NME \"level\" CPT 1 INV 0  REG NME r END ";
  for (int i = 0; i < depth; ++i)
    text += "END ";
  return text + "caller";
}

int NestingDepth(const CCondition& condition) {
  int depth = 0;
  const CCondition* current = &condition;
  while (const auto* compound = dynamic_cast<const CCompoundCondition*>(current)) {
    ++depth;
    current = compound->m_members.size() > 1 ? compound->m_members[1].get() : nullptr;
  }
  return depth;
}

TEST(ConditionParseTest, NestingBeyondTheLimitIsReadPastAndDropped) {
  const int limit = CCompoundCondition::kMaxNesting;
  for (int depth : {1, limit - 1, limit, limit + 1, limit + 5, 100000}) {
    std::string rest;
    bool whole = false;
    auto condition = ReadCondition(NestedText(depth), &rest, &whole);
    ASSERT_NE(condition, nullptr) << depth;
    EXPECT_EQ(NestingDepth(*condition), std::min(depth, limit)) << depth;
    // What was dropped could have decided the result: the condition does
    // not count as read, so its holder treats it as never holding.
    EXPECT_EQ(whole, depth <= limit) << depth;
    EXPECT_EQ(rest, "caller") << depth;
    // Everything works on what was kept, without exhausting the stack.
    auto copy = condition->Clone();
    EXPECT_TRUE(ConditionsEqual(*condition, *copy)) << depth;
    EXPECT_EQ(WriteCondition(*copy), WriteCondition(*condition)) << depth;
  }
}

// A member of a kind this client does not know makes the compound
// unreadable, and is read past to its own END so that what follows the
// compound stays in step. An unknown key with its value is still skipped.
TEST(ConditionParseTest, UnknownMemberKindsMakeTheCompoundUnreadableAndStayInStep) {
  const struct {
    const char* text;
    bool whole;
  } cases[] = {
      {"CP CPT 0 FUT NME \"future kind\" X 1 END REG KRT 9 END END caller", false},
      {"CP FUT NME f END END caller", false},
      {"CP CPT 1 CP FUT NME \"f\" END END NULL END caller", false},
      {"CP FUT NME f CP CPT 1 END X 2 END INV 1 END caller", false},
      {"CP FUT NME f FUT2 NME g Y 1 END X 2 END END caller", false},
      {"CP FUT NME f REG KRT 1 END END END caller", false},
      {"CP FOO 3 CPT 1 END caller", true},
      {"CP FOO \"NME\" END caller", true},
  };
  for (const auto& c : cases) {
    std::string rest;
    bool whole = true;
    auto condition = ReadCondition(c.text, &rest, &whole);
    ASSERT_NE(condition, nullptr) << c.text;
    EXPECT_EQ(whole, c.whole) << c.text;
    EXPECT_EQ(rest, "caller") << c.text;
  }
  // Cut short inside the unknown member: not whole, the input used up.
  std::string rest;
  bool whole = true;
  ReadCondition("CP FUT NME f X 1", &rest, &whole);
  EXPECT_FALSE(whole);
  EXPECT_EQ(rest, "<end>");
}

TEST(ConditionParseTest, UnreadableStandInNeverHoldsAndReadsBackAsSuch) {
  testing::MemoryRegistry registry;
  testing::FixedOsVersion version;
  const ConditionEnv env{registry, version};
  const std::unique_ptr<CCondition> never = MakeUnreadableCondition();
  EXPECT_FALSE(never->Evaluate(env));
  std::string rest;
  bool whole = false;
  auto again = ReadCondition(WriteCondition(*never) + " after", &rest, &whole);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(whole);
  EXPECT_EQ(rest, "after");
  EXPECT_TRUE(ConditionsEqual(*again, *never));
  EXPECT_FALSE(again->Evaluate(env));
}

TEST(ConditionParseTest, DeepCompoundsBuiltInCodeAreDestroyedWithoutRecursion) {
  auto outer = std::make_unique<CCompoundCondition>();
  CCompoundCondition* current = outer.get();
  for (int i = 0; i < 200000; ++i) {
    auto inner = std::make_unique<CCompoundCondition>();
    CCompoundCondition* next = inner.get();
    current->m_members.push_back(std::make_unique<CNullCondition>());
    current->m_members.push_back(std::move(inner));
    current = next;
  }
  outer.reset();  // would overflow the stack if destruction recursed
  SUCCEED();
}

// Random conditions, nested up to four levels, with texts that hold blanks,
// backslashes, tabs and line breaks, and numbers over the whole range.
class RandomConditions {
 public:
  explicit RandomConditions(unsigned seed) : random_(seed) {}

  std::unique_ptr<CCondition> Make(int depth) {
    switch (Below(depth < 4 ? 4 : 3)) {
      case 0:
        return std::make_unique<CNullCondition>();
      case 1: {
        auto reg = std::make_unique<CRegCondition>();
        reg->m_strName = Text();
        reg->m_nRoot = Number();
        reg->m_nInvert = Number();
        reg->m_strKeyPath = Text();
        reg->m_strValueName = Text();
        reg->m_strCompareValue = Text();
        reg->m_nCompareType = Number();
        return reg;
      }
      case 2: {
        auto ver = std::make_unique<CWinVerCondition>();
        ver->m_strName = Text();
        ver->m_nLevel9x = Number();
        ver->m_nLevelNt = Number();
        ver->m_nCompare9x = Number();
        ver->m_nCompareNt = Number();
        ver->m_nInvert = Number();
        return ver;
      }
      default: {
        auto compound = std::make_unique<CCompoundCondition>();
        compound->m_strName = Text();
        compound->m_nCombination = Number();
        compound->m_nInvert = Number();
        const int members = Below(5);
        for (int i = 0; i < members; ++i)
          compound->m_members.push_back(Make(depth + 1));
        return compound;
      }
    }
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::int32_t Number() {
    if (Below(2) == 0)
      return Below(9) - 2;
    return static_cast<std::int32_t>(random_());
  }

  std::string Text() {
    static const std::string kAlphabet = "abcXYZ019 \\_-.%$\t\n'\xe9";  // never a double quote
    std::string text;
    const int length = Below(3) == 0 ? 0 : Below(40);
    for (int i = 0; i < length; ++i)
      text += kAlphabet[Below(kAlphabet.size())];
    if (text == "END")
      text = "END ";
    return text;
  }

  std::mt19937 random_;
};

TEST(ConditionRoundTripTest, RandomConditionsReadBackEqual) {
  RandomConditions random(20240611);
  for (int i = 0; i < 400; ++i) {
    std::unique_ptr<CCondition> original = random.Make(0);
    const std::string text = WriteCondition(*original);
    std::string rest;
    std::unique_ptr<CCondition> read = ReadCondition(text + "END tail", &rest);
    ASSERT_NE(read, nullptr) << text;
    EXPECT_TRUE(ConditionsEqual(*original, *read)) << text;
    EXPECT_EQ(rest, "END") << text;
    EXPECT_EQ(WriteCondition(*read), text);

    std::unique_ptr<CCondition> copy = original->Clone();
    EXPECT_TRUE(ConditionsEqual(*original, *copy)) << text;
    EXPECT_NE(copy.get(), original.get());
  }
}

TEST(ConditionRoundTripTest, TextsWithDoubleQuotesDoNotBreakWhatFollows) {
  struct Case {
    std::string text;
    std::string read_back;
  };
  const Case cases[] = {
      {"a\"b", "a\"b"},  // as a bare token can carry it: survives intact
      {"x\"", "x\""},
      {"a \"b\" c", "a b c"},  // cannot be written as one token: quotes dropped
      {"\"lead", "lead"},
  };
  for (const Case& c : cases) {
    CRegCondition reg;
    reg.m_strName = c.text;
    reg.m_strKeyPath = c.text;
    reg.m_nRoot = 4;
    std::string rest;
    auto read = ReadCondition(WriteCondition(reg) + "END", &rest);
    const auto& back = As<CRegCondition>(read);
    EXPECT_EQ(back.m_strName, c.read_back) << c.text;
    EXPECT_EQ(back.m_strKeyPath, c.read_back) << c.text;
    EXPECT_EQ(back.m_nRoot, 4) << c.text;
    EXPECT_EQ(rest, "END") << c.text;
  }
}

TEST(ConditionsEqualTest, TellsApartKindsFieldsAndMemberOrder) {
  CCompoundCondition first;
  first.m_members.push_back(std::make_unique<CNullCondition>());
  first.m_members.push_back(std::make_unique<CRegCondition>());
  EXPECT_TRUE(ConditionsEqual(first, *first.Clone()));
  auto second = first.Clone();
  static_cast<CCompoundCondition&>(*second).m_members[0].swap(
      static_cast<CCompoundCondition&>(*second).m_members[1]);
  EXPECT_FALSE(ConditionsEqual(first, *second));
  auto third = first.Clone();
  static_cast<CRegCondition&>(*static_cast<CCompoundCondition&>(*third).m_members[1])
      .m_strCompareValue = "x";
  EXPECT_FALSE(ConditionsEqual(first, *third));
}

}  // namespace
}  // namespace gantrell
