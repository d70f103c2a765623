// Registry tests evaluated against values placed in an in-memory registry
// and in the registry files the client uses where Windows has none.
#include "conditions/reg_condition.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "condition_test_util.h"
#include "support/memory_registry.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

constexpr char kApp[] = "Software\\Vendor\\App";

struct Placed {
  RegRoot root;
  std::string path;
  std::string name;
  RegValue value;
};

std::vector<Placed> TestValues() {
  return {
      {RegRoot::kCurrentUser, kApp, "Version", RegValue::Dword(10)},
      {RegRoot::kCurrentUser, kApp, "High", RegValue::Dword(0x80000000u)},
      {RegRoot::kCurrentUser, kApp, "Big", RegValue::Binary({0, 0, 0, 10}, kRegDwordBigEndian)},
      {RegRoot::kCurrentUser, kApp, "Short", RegValue::Binary({10, 0}, kRegDword)},
      {RegRoot::kCurrentUser, kApp, "Long", RegValue::Binary({10, 0, 0, 0, 0}, kRegDword)},
      {RegRoot::kCurrentUser, kApp, "Name", RegValue::Text("abc")},
      {RegRoot::kCurrentUser, kApp, "Upper", RegValue::Text("ABC")},
      {RegRoot::kCurrentUser, kApp, "Accent", RegValue::Text("\xe9")},
      {RegRoot::kCurrentUser, kApp, "Unended", RegValue::Binary({'a', 'b', 'c'}, kRegSz)},
      {RegRoot::kCurrentUser, kApp, "Inner", RegValue::Binary({'a', 'b', 0, 'z', 0}, kRegSz)},
      {RegRoot::kCurrentUser, kApp, "Expand", RegValue::Text("%PATH%", kRegExpandSz)},
      {RegRoot::kCurrentUser, kApp, "Multi", RegValue::Binary({'a', 0, 'b', 0, 0}, kRegMultiSz)},
      {RegRoot::kCurrentUser, kApp, "Blob", RegValue::Binary({'a', 0})},
      {RegRoot::kCurrentUser, kApp, "Nothing", RegValue::Binary({}, kRegNone)},
      {RegRoot::kCurrentUser, kApp, "Link", RegValue::Binary({'a', 0}, kRegLink)},
      {RegRoot::kCurrentUser, kApp, "Resources", RegValue::Binary({'a', 0}, kRegResourceList)},
      {RegRoot::kCurrentUser, kApp, "", RegValue::Text("def")},
      // One value under each root, to tell the root codes apart.
      {RegRoot::kClassesRoot, "Root", "Where", RegValue::Text("classes")},
      {RegRoot::kLocalMachine, "Root", "Where", RegValue::Text("machine")},
      {RegRoot::kCurrentUser, "Root", "Where", RegValue::Text("user")},
      {RegRoot::kPerformanceData, "Root", "Where", RegValue::Text("performance")},
      {RegRoot::kDynData, "Root", "Where", RegValue::Text("dyn")},
      {RegRoot::kUsers, "Root", "Where", RegValue::Text("users")},
      {RegRoot::kCurrentConfig, "Root", "Where", RegValue::Text("config")},
  };
}

// A registry of each kind, filled with TestValues().
class RegistryBackends {
 public:
  RegistryBackends() {
    for (Registry* registry :
         {static_cast<Registry*>(&memory_), static_cast<Registry*>(&files_.registry())}) {
      for (const Placed& placed : TestValues()) {
        std::string error;
        EXPECT_TRUE(registry->SetValue(placed.root, placed.path, placed.name, placed.value, &error))
            << placed.path << "\\" << placed.name << ": " << error;
      }
    }
  }

  // Runs `check` once per backend, with a version layer that always fails.
  void ForEach(const std::function<void(const std::string&, const ConditionEnv&)>& check) {
    testing::FixedOsVersion no_version;
    check("memory", ConditionEnv{memory_, no_version});
    check("files", ConditionEnv{files_.registry(), no_version});
  }

 private:
  testing::MemoryRegistry memory_;
  testing::TempRegistry files_;
};

struct Case {
  std::int32_t root;
  std::string path;
  std::string value_name;
  std::string compare_value;
  std::int32_t compare_type;
  bool expected;  // before inversion
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << "KRT " << c.root << " PTH " << c.path << " KNME " << c.value_name << " CPV \""
             << c.compare_value << "\" CPT " << c.compare_type;
}

// Checks each case as written, with INV 1 and INV 2 (negated) and INV -1.
void CheckCases(const std::vector<Case>& cases) {
  RegistryBackends backends;
  backends.ForEach([&](const std::string& backend, const ConditionEnv& env) {
    for (const Case& c : cases) {
      CRegCondition condition;
      condition.m_nRoot = c.root;
      condition.m_strKeyPath = c.path;
      condition.m_strValueName = c.value_name;
      condition.m_strCompareValue = c.compare_value;
      condition.m_nCompareType = c.compare_type;
      EXPECT_EQ(condition.Evaluate(env), c.expected) << backend << ": " << c;
      for (std::int32_t invert : {1, 2, -1}) {
        condition.m_nInvert = invert;
        EXPECT_EQ(condition.Evaluate(env), !c.expected)
            << backend << ": " << c << " INV " << invert;
      }
    }
  });
}

TEST(RegConditionTest, RootCodesSelectTheirRoot) {
  std::vector<Case> cases;
  const char* expected_root[] = {"classes", "machine", "user", "performance",
                                 "dyn",     "users",   "users"};
  for (int code = 0; code <= 6; ++code) {
    cases.push_back({code, "Root", "Where", expected_root[code], 1, true});
  }
  // 7 and every other code name no root at all.
  for (int code : {7, 8, -1, 1000})
    cases.push_back({code, "Root", "Where", "", 0, false});
  CheckCases(cases);
}

TEST(RegConditionTest, MissingKeysAndValuesDoNotHold) {
  CheckCases({
      {2, "Software\\Vendor\\Missing", "Version", "", 0, false},
      {2, kApp, "Missing", "", 0, false},
      {1, kApp, "Version", "", 0, false},  // the key is under another root
      {2, kApp, "", "def", 1, true},       // the key's default value
  });
}

TEST(RegConditionTest, DoubleWordsCompareAsUnsignedNumbers) {
  CheckCases({
      {2, kApp, "Version", "9", 3, true},
      {2, kApp, "Version", "9", 2, false},
      {2, kApp, "Version", "9", 1, false},
      {2, kApp, "Version", "9", 0, true},
      {2, kApp, "Version", "10", 1, true},
      {2, kApp, "Version", "11", 2, true},
      {2, kApp, "Version", "9", 4, false},
      {2, kApp, "Version", "9", -1, false},
      {2, kApp, "Version", "abc", 3, true},   // not a number: 0
      {2, kApp, "Version", "0x20", 3, true},  // decimal only: 0
      {2, kApp, "Version", " 10xyz", 1, true},
      {2, kApp, "Version", "-1", 2, true},  // 4294967295
      {2, kApp, "High", "1", 3, true},      // 2^31 is not negative
      {2, kApp, "High", "2147483648", 1, true},
      {2, kApp, "Big", "10", 1, true},  // bytes reversed
      {2, kApp, "Big", "9", 3, true},
      // Data of the wrong length cannot be read as a double word.
      {2, kApp, "Short", "10", 1, false},
      {2, kApp, "Short", "", 0, false},
      {2, kApp, "Long", "10", 1, false},
  });
}

TEST(RegConditionTest, TextsCompareByteWiseAsUnsignedCharacters) {
  CheckCases({
      {2, kApp, "Name", "abd", 2, true},
      {2, kApp, "Name", "abd", 3, false},
      {2, kApp, "Name", "abc", 1, true},
      {2, kApp, "Name", "ab", 3, true},
      {2, kApp, "Name", "abcd", 2, true},
      {2, kApp, "Name", "", 3, true},
      {2, kApp, "Name", "zzz", 0, true},
      {2, kApp, "Name", "abc", 5, false},
      {2, kApp, "Upper", "abc", 1, false},  // no case folding
      {2, kApp, "Upper", "abc", 2, true},
      {2, kApp, "Accent", "z", 3, true},  // 0xE9 sorts after z
      {2, kApp, "Unended", "abc", 1, true},
      {2, kApp, "Inner", "ab", 1, true},       // the text ends at the first zero
      {2, kApp, "Expand", "%PATH%", 1, true},  // no expansion
  });
}

TEST(RegConditionTest, OtherTypesOnlyCountAsPresent) {
  std::vector<Case> cases;
  for (const char* name : {"Multi", "Blob", "Nothing", "Link", "Resources"}) {
    cases.push_back({2, kApp, name, "", 0, true});
    for (std::int32_t type : {1, 2, 3, 7})
      cases.push_back({2, kApp, name, "a", type, false});
  }
  CheckCases(cases);
}

TEST(RegConditionTest, AnUnreadableRegistryDoesNotHold) {
  testing::MemoryRegistry memory;
  memory.Set(RegRoot::kLocalMachine, "K", "V", RegValue::Dword(1));
  memory.set_failing(true);
  testing::TempRegistry files;
  files.WriteMachineFile(
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"V\"=dword:00000001\nnot a registry line\n");
  testing::FixedOsVersion no_version;
  for (const Registry* registry :
       {static_cast<const Registry*>(&memory), static_cast<const Registry*>(&files.registry())}) {
    const ConditionEnv env{*registry, no_version};
    CRegCondition condition;
    condition.m_nRoot = 1;
    condition.m_strKeyPath = "K";
    condition.m_strValueName = "V";
    EXPECT_FALSE(condition.Evaluate(env));
    condition.m_nInvert = 1;
    EXPECT_TRUE(condition.Evaluate(env));
  }
}

}  // namespace
}  // namespace gantrell
