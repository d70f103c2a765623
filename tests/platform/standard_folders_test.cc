#include "platform/standard_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(StandardFoldersTest, FollowTheBaseDirectoryRules) {
  struct Case {
    const char* home;
    const char* config;
    const char* data;
    std::string_view expected_config;
    std::string_view expected_data;
  };
  const Case cases[] = {
      {"/home/u", nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
      {"/home/u/", nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
      {"/home/u", "/cfg", "/dat", "/cfg", "/dat"},
      {"/home/u", "", "", "/home/u/.config", "/home/u/.local/share"},
      {"/home/u", "relative/cfg", "dat", "/home/u/.config", "/home/u/.local/share"},
  };
  for (const Case& c : cases) {
    ScopedEnv home("HOME", c.home);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    ScopedEnv data("XDG_DATA_HOME", c.data);
    std::string input = std::string("HOME=") + c.home +
                        " XDG_CONFIG_HOME=" + (c.config ? c.config : "(unset)") +
                        " XDG_DATA_HOME=" + (c.data ? c.data : "(unset)");
    EXPECT_EQ(ConfigHome(), c.expected_config) << input;
    EXPECT_EQ(DataHome(), c.expected_data) << input;
  }
}

TEST(StandardFoldersTest, ARelativeHomeFallsBackToTheUserDatabase) {
  ScopedEnv home("HOME", "not/absolute");
  std::string found = HomeFolder();
  EXPECT_TRUE(found.empty() || found.front() == '/') << found;
}

TEST(StandardFoldersTest, RuntimeDirPrefersTheSessionFolder) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1234");
  EXPECT_EQ(RuntimeDir(), "/run/user/1234");
}

TEST(StandardFoldersTest, PrivateFoldersAreCreatedClosedAndCheckedWhenFound) {
  TempDir dir;
  std::string error;
  const std::string made = dir.File("made");
  ASSERT_TRUE(EnsurePrivateFolder(made, &error)) << error;
  struct stat info;
  ASSERT_EQ(::stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsurePrivateFolder(made, &error)) << "an existing private folder is fine";

  const std::string open = dir.File("open");
  ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
  EXPECT_FALSE(EnsurePrivateFolder(open, &error));
  EXPECT_NE(error.find(open), std::string::npos) << error;

  const std::string link = dir.File("link");
  ASSERT_EQ(::symlink(made.c_str(), link.c_str()), 0);
  EXPECT_FALSE(EnsurePrivateFolder(link, &error)) << "a link may point anywhere";

  const std::string file = dir.WriteFile("file", "x");
  EXPECT_FALSE(EnsurePrivateFolder(file, &error));
}

TEST(StandardFoldersTest, RuntimeDirFallsBackToAPrivateTmpFolder) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", "relative");
  std::string error;
  std::string folder = RuntimeDir(&error);
  ASSERT_EQ(folder, "/tmp/gantrell-" + std::to_string(::getuid())) << error;
  struct stat info;
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 077, 0u);
}

}  // namespace
}  // namespace gantrell
