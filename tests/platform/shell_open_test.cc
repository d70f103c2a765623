#include "platform/shell_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/shell_open_xdg.h"
#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

TEST(ShellOpenParametersTest, OnlyLowerCaseProgramEndingsGetABlank) {
  const std::pair<const char*, const char*> cases[] = {
      {"/d/x.exe", " "}, {"/d/x.com", " "},    {"/d/x.bin", " "}, {".exe", " "},
      {"/d/x.EXE", ""},  {"/d/x.Exe", ""},     {"/d/x.txt", ""},  {"/d/x.exe.txt", ""},
      {"exe", ""},       {"/d/setup_exe", ""}, {"", ""},          {"/d/x.bin/", ""},
  };
  for (const auto& [path, parameters] : cases)
    EXPECT_EQ(ShellOpenParameters(path), parameters) << path;
}

TEST(ShellOpenWorkingFolderTest, FolderKeepsItsClosingSlash) {
  EXPECT_EQ(ShellOpenWorkingFolder("/a/b/c.txt"), "/a/b/");
  EXPECT_EQ(ShellOpenWorkingFolder("/c.txt"), "/");
  EXPECT_EQ(ShellOpenWorkingFolder("c.txt"), "");
}

class RecordingShell : public ShellOpen {
 public:
  bool Open(const std::string& path, const std::string& working_folder,
            const std::string& parameters) override {
    opened = path + "|" + working_folder + "|" + parameters;
    return true;
  }
  std::string opened;
};

TEST(OpenThroughShellTest, PassesFolderAndParametersByTheRule) {
  RecordingShell shell;
  OpenThroughShell(shell, "/dl/1/setup.exe");
  EXPECT_EQ(shell.opened, "/dl/1/setup.exe|/dl/1/| ");
  OpenThroughShell(shell, "/dl/1/SETUP.EXE");
  EXPECT_EQ(shell.opened, "/dl/1/SETUP.EXE|/dl/1/|");
}

// A launcher that records its working folder and arguments, one a line,
// and then stays for a while like a desktop application would.
std::string MakeLauncher(const TempDir& dir) {
  const std::string script =
      dir.WriteFile("launcher", "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"" +
                                    dir.File("record.tmp") + "\"\nmv \"" + dir.File("record.tmp") +
                                    "\" \"" + dir.File("record") + "\"\nexec sleep 5\n");
  ::chmod(script.c_str(), 0755);
  return script;
}

std::string WaitForRecord(const TempDir& dir) {
  for (int i = 0; i < 200 && !std::filesystem::exists(dir.File("record")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return ReadWholeFile(dir.File("record"));
}

TEST(XdgShellOpenTest, StartsTheLauncherInTheFolderWithoutWaitingForIt) {
  TempDir dir;
  XdgShellOpen shell(MakeLauncher(dir));
  const std::string folder = dir.File("files");
  std::filesystem::create_directories(folder);
  // Shell syntax in the name stays part of the name.
  const std::string path = folder + "/a b;$(touch injected) 'q'.exe";
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  ASSERT_TRUE(shell.Open(path, folder + "/", " ", &error)) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(WaitForRecord(dir), folder + "\n" + path + "\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "/injected"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("injected")));
}

TEST(XdgShellOpenTest, PathThatLooksLikeAnOptionIsPassedAsAFile) {
  TempDir dir;
  XdgShellOpen shell(MakeLauncher(dir));
  ASSERT_TRUE(shell.Open("-x.txt", "", ""));
  const std::string record = WaitForRecord(dir);
  EXPECT_NE(record.find("\n./-x.txt\n"), std::string::npos) << record;
}

TEST(XdgShellOpenTest, MissingLauncherIsAFailureWithItsName) {
  TempDir dir;
  XdgShellOpen by_path(dir.File("no-such-launcher"));
  std::string error;
  EXPECT_FALSE(by_path.Open("/x.txt", "/", "", &error));
  EXPECT_EQ(error, "cannot find " + dir.File("no-such-launcher") + " to open /x.txt");

  XdgShellOpen by_name("gantrell-no-such-launcher");
  EXPECT_FALSE(by_name.Open("/x.txt", "/", ""));
}

}  // namespace
}  // namespace gantrell
