#include <gtest/gtest.h>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

// The per-user settings key is named after the program, so a renamed
// executable keeps settings of its own.
TEST(ProgramNameTest, SettingsKeyFollowsTheProgramName) {
  testing::TempRegistry reg;
  RegistryOsVersion os(reg);
  CClientApp renamed(reg, os, "gantrell-beta");
  CClientApp plain(reg, os);
  ASSERT_TRUE(renamed.profile().WriteProfileString(kSettingsSection, "dlpath", "/beta", nullptr));
  EXPECT_EQ(renamed.profile().SectionKey(kSettingsSection),
            "Software\\Gantrell\\gantrell-beta\\mainpath");
  EXPECT_EQ(plain.profile().SectionKey(kSettingsSection), "Software\\Gantrell\\gantrell\\mainpath");
  EXPECT_EQ(plain.profile().GetProfileString(kSettingsSection, "dlpath", "?"), "?");
}

}  // namespace
}  // namespace gantrell
