// The system registry under Wine or Windows: what is written under
// HKEY_CURRENT_USER "Software\GantrellTest" reads back as written.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/environment.h"
#include "platform/system_registry.h"

namespace gantrell {
namespace {

// A key of its own per test, removed value by value at the end.
class SystemRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = MakeSystemRegistry();
    key_ = "Software\\GantrellTest\\" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  void TearDown() override {
    for (const std::string& name : written_)
      registry_->DeleteValue(RegRoot::kCurrentUser, key_, name, nullptr);
  }
  void Set(const std::string& name, const RegValue& value) {
    std::string error;
    ASSERT_TRUE(registry_->SetValue(RegRoot::kCurrentUser, key_, name, value, &error)) << error;
    written_.push_back(name);
  }
  RegValue Get(const std::string& name) {
    RegValue value;
    EXPECT_TRUE(registry_->QueryValue(RegRoot::kCurrentUser, key_, name, &value)) << name;
    return value;
  }

  std::unique_ptr<Registry> registry_;
  std::string key_;
  std::vector<std::string> written_;
};

TEST_F(SystemRegistryTest, ValuesOfEveryKindReadBackAsWritten) {
  const std::string multi("first\0second\0\0", 14);
  const struct {
    const char* name;
    RegValue value;
  } cases[] = {
      {"text", RegValue::Text("plain text")},
      {"empty", RegValue::Text("")},
      {"non-ascii", RegValue::Text("C:\\Users\\J\xc3\xb6rg\\\xe2\x82\xac")},
      {"expand", RegValue::Text("%USERPROFILE%\\Downloads", kRegExpandSz)},
      {"dword", RegValue::Dword(0x01020304)},
      {"binary", RegValue::Binary({0, 1, 2, 255})},
      {"multi", RegValue::Binary(std::vector<std::uint8_t>(multi.begin(), multi.end()),
                                 kRegMultiSz)},
      {"", RegValue::Text("the key's default value")},
  };
  for (const auto& c : cases)
    Set(c.name, c.value);
  for (const auto& c : cases)
    EXPECT_EQ(Get(c.name), c.value) << "value \"" << c.name << "\"";
  EXPECT_TRUE(registry_->KeyExists(RegRoot::kCurrentUser, key_));
}

TEST_F(SystemRegistryTest, NamesAreComparedWithoutRegardToCase) {
  Set("Level", RegValue::Dword(7));
  EXPECT_EQ(Get("LEVEL"), RegValue::Dword(7));
  RegValue value;
  const std::string upper_key = "SOFTWARE\\GANTRELLTEST" + key_.substr(key_.find('\\', 9));
  EXPECT_TRUE(registry_->QueryValue(RegRoot::kCurrentUser, upper_key, "level", &value));
}

TEST_F(SystemRegistryTest, MissingKeysAndValuesAreReportedMissingAndDeletingThemSucceeds) {
  RegValue value = RegValue::Dword(1);
  EXPECT_FALSE(registry_->KeyExists(RegRoot::kCurrentUser, key_));
  EXPECT_FALSE(registry_->QueryValue(RegRoot::kCurrentUser, key_, "none", &value));
  EXPECT_EQ(value, RegValue::Dword(1)) << "left unchanged";
  std::string error;
  EXPECT_TRUE(registry_->DeleteValue(RegRoot::kCurrentUser, key_, "none", &error)) << error;
  Set("there", RegValue::Dword(2));
  EXPECT_TRUE(registry_->DeleteValue(RegRoot::kCurrentUser, key_, "there", &error)) << error;
  EXPECT_TRUE(registry_->DeleteValue(RegRoot::kCurrentUser, key_, "none", &error)) << error;
  EXPECT_FALSE(registry_->QueryValue(RegRoot::kCurrentUser, key_, "there", &value));
}

TEST_F(SystemRegistryTest, UpdateValueSeesTheCurrentValueAndCanLeaveItAlone) {
  std::string error;
  auto append = [](const RegValue* current, RegValue* replacement) {
    *replacement = RegValue::Text((current != nullptr ? current->AsText() : "") + "x");
    return true;
  };
  written_.push_back("counter");
  ASSERT_TRUE(registry_->UpdateValue(RegRoot::kCurrentUser, key_, "counter", append, &error));
  ASSERT_TRUE(registry_->UpdateValue(RegRoot::kCurrentUser, key_, "counter", append, &error));
  EXPECT_EQ(Get("counter").AsText(), "xx");
  ASSERT_TRUE(registry_->UpdateValue(
      RegRoot::kCurrentUser, key_, "counter",
      [](const RegValue*, RegValue*) { return false; }, &error));
  EXPECT_EQ(Get("counter").AsText(), "xx");
}

// The data folder comes from the "AppData" shell folder, a REG_EXPAND_SZ in
// "User Shell Folders" that names the profile through %USERPROFILE%.
TEST(SystemRegistry, AppDataShellFolderExpandsToAFolderOfTheProfile) {
  const std::unique_ptr<Registry> registry = MakeSystemRegistry();
  RegValue value;
  ASSERT_TRUE(registry->QueryValue(
      RegRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
      "AppData", &value));
  EXPECT_EQ(value.type, kRegExpandSz);
  const std::string expanded = ExpandEnvironmentStrings(value.AsText());
  EXPECT_EQ(expanded.find('%'), std::string::npos) << value.AsText() << " -> " << expanded;
  std::string profile;
  ASSERT_TRUE(LookUpEnvironment("USERPROFILE", &profile));
  EXPECT_EQ(expanded.rfind(profile, 0), 0u) << expanded << " is not under " << profile;
}

TEST(SystemOsVersion, AgreesWithTheBuildTheRegistryRecords) {
  const std::unique_ptr<Registry> registry = MakeSystemRegistry();
  const std::unique_ptr<OsVersion> version = MakeSystemOsVersion(*registry);
  OsVersionInfo info;
  ASSERT_TRUE(version->Query(&info));
  EXPECT_EQ(info.platform_id, kVerPlatformWin32Nt);
  EXPECT_GE(info.major, 5u);
  RegValue build;
  ASSERT_TRUE(registry->QueryValue(RegRoot::kLocalMachine,
                                   "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                   "CurrentBuildNumber", &build));
  EXPECT_EQ(std::to_string(info.build), build.AsText());
}

TEST(SystemEnvironment, NamesAreMatchedWithoutRegardToCase) {
  std::string lower, upper;
  ASSERT_TRUE(LookUpEnvironment("USERPROFILE", &upper));
  ASSERT_TRUE(LookUpEnvironment("userprofile", &lower));
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(ExpandEnvironmentStrings("%UserProfile%\\x"), upper + "\\x");
  std::string none;
  EXPECT_FALSE(LookUpEnvironment("GANTRELL_SURELY_UNSET_VARIABLE", &none));
}

}  // namespace
}  // namespace gantrell
