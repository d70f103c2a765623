#include "platform/profile.h"

#include <gtest/gtest.h>

#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::TempRegistry;

TEST(ProfileTest, EntriesLiveUnderTheProgramsKey) {
  TempRegistry reg;
  Profile profile(reg, "gantrell");
  std::string error;
  ASSERT_TRUE(profile.WriteProfileString("mainpath", "default", "/data/folder", &error)) << error;
  RegValue value;
  ASSERT_TRUE(reg.registry().QueryValue(
      RegRoot::kCurrentUser, "Software\\Gantrell\\gantrell\\mainpath", "default", &value));
  EXPECT_EQ(value, RegValue::Text("/data/folder"));
  EXPECT_EQ(profile.GetProfileString("mainpath", "default", "????"), "/data/folder");
  EXPECT_EQ(Profile(reg, "other").GetProfileString("mainpath", "default", "????"), "????");
}

TEST(ProfileTest, MissingOrNonTextEntriesGiveTheDefault) {
  TempRegistry reg;
  Profile profile(reg, "gantrell");
  const std::string key = "Software\\Gantrell\\gantrell\\mainpath";
  reg.SetDword(RegRoot::kCurrentUser, key, "number", 5);
  reg.SetBinary(RegRoot::kCurrentUser, key, "multi", kRegMultiSz, {'a', 0, 0});
  reg.SetString(RegRoot::kCurrentUser, key, "expand", "%HOME%", kRegExpandSz);
  reg.SetString(RegRoot::kCurrentUser, key, "empty", "");
  struct Case {
    std::string_view entry;
    std::string_view expected;
  };
  const Case cases[] = {
      {"missing", "?"}, {"number", "?"}, {"multi", "?"}, {"expand", "%HOME%"}, {"empty", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(profile.GetProfileString("mainpath", c.entry, "?"), c.expected) << c.entry;
  }
}

TEST(ProfileTest, RewritingAndDeletingEntries) {
  TempRegistry reg;
  Profile profile(reg, "gantrell");
  std::string error;
  ASSERT_TRUE(profile.WriteProfileString("mainpath", "newprov", "http://a/ * http://b/", &error));
  ASSERT_TRUE(profile.WriteProfileString("mainpath", "newprov", "", &error));
  EXPECT_EQ(profile.GetProfileString("mainpath", "newprov", "?"), "");
  ASSERT_TRUE(profile.DeleteProfileEntry("mainpath", "newprov", &error));
  EXPECT_EQ(profile.GetProfileString("mainpath", "newprov", "?"), "?");
  EXPECT_TRUE(profile.DeleteProfileEntry("mainpath", "newprov", &error)) << error;
}

}  // namespace
}  // namespace gantrell
