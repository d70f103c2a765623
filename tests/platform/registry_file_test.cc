#include "platform/registry_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TempRegistry;

constexpr std::string_view kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string QueryText(const Registry& registry, RegRoot root, std::string_view path,
                      std::string_view name) {
  RegValue value;
  return registry.QueryValue(root, path, name, &value) ? value.AsText() : "<absent>";
}

TEST(FileRegistryTest, MissingFilesAreAnEmptyStoreAndTheFirstWriteCreatesThem) {
  TempDir dir;
  FileRegistry registry(dir.File("a/b/user.reg"), dir.File("c/machine.reg"), "");
  RegValue value;
  EXPECT_FALSE(registry.QueryValue(RegRoot::kCurrentUser, "Software", "x", &value));
  EXPECT_FALSE(registry.KeyExists(RegRoot::kLocalMachine, "SOFTWARE"));
  EXPECT_EQ(registry.Diagnostics(), "");
  std::string error;
  EXPECT_TRUE(registry.DeleteValue(RegRoot::kCurrentUser, "Software", "x", &error)) << error;
  struct stat info;
  EXPECT_NE(::stat(dir.File("a").c_str(), &info), 0)
      << "a delete that changes nothing writes nothing";

  ASSERT_TRUE(registry.SetValue(RegRoot::kCurrentUser, "Software\\Gantrell", "k",
                                RegValue::Text("v"), &error))
      << error;
  ASSERT_EQ(::stat(dir.File("a/b/user.reg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "per-user settings are private";
  EXPECT_NE(::stat(dir.File("c/machine.reg").c_str(), &info), 0) << "only the user file is written";
  EXPECT_EQ(ReadWholeFile(dir.File("a/b/user.reg")),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Gantrell]\n"
            "\"k\"=\"v\"\n\n");
}

TEST(FileRegistryTest, ASettingsWriteKeepsCommentsWrittenByHand) {
  TempDir dir;
  const std::string user = dir.WriteFile("user.reg",
                                         "Windows Registry Editor Version 5.00\n"
                                         "; my settings, edited by hand\n"
                                         "[HKEY_CURRENT_USER\\Software\\Gantrell\\mainpath]\n"
                                         "; downloads go to the big disk\n"
                                         "\"dlpath\"=\"/big\"\n");
  FileRegistry registry(user, dir.File("machine.reg"), "");
  std::string error;
  ASSERT_TRUE(registry.SetValue(RegRoot::kCurrentUser, "Software\\Gantrell\\mainpath", "newprov",
                                RegValue::Text("http://p/"), &error))
      << error;
  ASSERT_TRUE(registry.SetValue(RegRoot::kCurrentUser, "Software\\Gantrell\\mainpath", "dlpath",
                                RegValue::Text("/bigger"), &error))
      << error;
  EXPECT_EQ(ReadWholeFile(user),
            "Windows Registry Editor Version 5.00\n\n"
            "; my settings, edited by hand\n\n"
            "[HKEY_CURRENT_USER\\Software\\Gantrell\\mainpath]\n"
            "; downloads go to the big disk\n"
            "\"dlpath\"=\"/bigger\"\n"
            "\"newprov\"=\"http://p/\"\n\n");
}

TEST(FileRegistryTest, RootsGoToTheirFiles) {
  TempRegistry reg;
  reg.SetString(RegRoot::kCurrentUser, "Software\\A", "u", "user");
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kClassesRoot, RegRoot::kUsers,
                       RegRoot::kCurrentConfig, RegRoot::kDynData, RegRoot::kPerformanceData}) {
    reg.SetDword(root, "K", "n", 7);
    std::string machine = ReadWholeFile(reg.machine_file());
    EXPECT_NE(machine.find("[" + std::string(RegRootName(root)) + "\\K]"), std::string::npos)
        << RegRootName(root);
  }
  EXPECT_EQ(ReadWholeFile(reg.machine_file()).find("HKEY_CURRENT_USER"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(reg.user_file()).find("HKEY_LOCAL_MACHINE"), std::string::npos);
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kCurrentUser, "Software\\A", "u"), "user");
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, "Software\\A", "u"), "<absent>");
}

TEST(FileRegistryTest, NamesMatchInAnyCaseAndKeepTheirWrittenCase) {
  TempRegistry reg;
  reg.SetString(RegRoot::kLocalMachine, "SOFTWARE\\Vendor", "InstallDir", "one");
  reg.SetString(RegRoot::kLocalMachine, "software\\VENDOR", "INSTALLDIR", "two");
  reg.SetString(RegRoot::kLocalMachine, "software\\vendor\\Sub", "x", "three");
  for (std::string_view path : {"SOFTWARE\\Vendor", "software\\vendor", "SoFtWaRe\\VENDOR"}) {
    EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, path, "installdir"), "two") << path;
  }
  EXPECT_TRUE(reg.registry().KeyExists(RegRoot::kLocalMachine, "software"));
  EXPECT_TRUE(reg.registry().KeyExists(RegRoot::kLocalMachine, "Software\\Vendor\\SUB"));
  EXPECT_FALSE(reg.registry().KeyExists(RegRoot::kLocalMachine, "Software\\Vend"));
  std::string text = ReadWholeFile(reg.machine_file());
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\n\"InstallDir\"=\"two\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Sub]"), std::string::npos) << text;
  EXPECT_EQ(text.find("INSTALLDIR"), std::string::npos) << text;
}

TEST(FileRegistryTest, BadNamesAreRefusedWithoutWriting) {
  TempRegistry reg;
  for (std::string_view path : {"\\Lead", "Trail\\", "Dou\\\\ble", "line\nbreak"}) {
    std::string error;
    EXPECT_FALSE(
        reg.registry().SetValue(RegRoot::kCurrentUser, path, "v", RegValue::Dword(1), &error))
        << path;
    EXPECT_NE(error.find("Invalid registry key path"), std::string::npos) << path << ": " << error;
  }
  std::string error;
  EXPECT_FALSE(reg.registry().SetValue(RegRoot::kCurrentUser, "K", std::string_view("a\0b", 3),
                                       RegValue::Dword(1), &error));
  EXPECT_EQ(ReadWholeFile(reg.user_file()), "");
}

TEST(FileRegistryTest, AnUnreadableFileIsReportedAndNeverOverwritten) {
  TempRegistry reg;
  const std::string broken =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=dword:zz\n";
  reg.WriteMachineFile(broken);
  reg.SetString(RegRoot::kCurrentUser, "Software\\Ok", "v", "fine");

  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, "X", "A"), "<absent>");
  EXPECT_FALSE(reg.registry().KeyExists(RegRoot::kLocalMachine, "X"));
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kCurrentUser, "Software\\Ok", "v"), "fine");
  std::string expected_problem = reg.machine_file() + ":4: dword: needs 1 to 8 hex digits";
  EXPECT_EQ(reg.registry().Diagnostics(), expected_problem);

  std::string error;
  EXPECT_FALSE(
      reg.registry().SetValue(RegRoot::kLocalMachine, "X", "B", RegValue::Dword(1), &error));
  EXPECT_EQ(error.substr(0, expected_problem.size()), expected_problem);
  EXPECT_FALSE(reg.registry().DeleteValue(RegRoot::kLocalMachine, "X", "A", &error));
  EXPECT_EQ(ReadWholeFile(reg.machine_file()), broken);

  // Once the file is mended it is read again without restarting.
  reg.WriteMachineFile(
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\n"
      "\"A\"=\"mended\"\n");
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, "X", "A"), "mended");
  EXPECT_EQ(reg.registry().Diagnostics(), "");
}

TEST(FileRegistryTest, AKeyOfTheWrongRootMakesTheFileUnreadable) {
  TempRegistry reg;
  const std::string misplaced =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\S]\n"
      "\"v\"=\"x\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"v\"=\"y\"\n";
  reg.WriteUserFile(misplaced);
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kCurrentUser, "S", "v"), "<absent>");
  EXPECT_EQ(reg.registry().Diagnostics(),
            reg.user_file() +
                ":6: HKEY_LOCAL_MACHINE keys belong in the machine-wide file, not in this "
                "per-user file");
  std::string error;
  EXPECT_FALSE(
      reg.registry().SetValue(RegRoot::kCurrentUser, "S", "w", RegValue::Dword(1), &error));
  EXPECT_EQ(ReadWholeFile(reg.user_file()), misplaced);
}

TEST(FileRegistryTest, SeesChangesMadeByOthers) {
  TempRegistry reg;
  reg.SetString(RegRoot::kLocalMachine, "K", "v", "first");
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, "K", "v"), "first");
  FileRegistry other(reg.user_file(), reg.machine_file(), "");
  std::string error;
  ASSERT_TRUE(other.SetValue(RegRoot::kLocalMachine, "K", "v", RegValue::Text("second"), &error));
  ASSERT_TRUE(other.SetValue(RegRoot::kLocalMachine, "K", "w", RegValue::Dword(2), &error));
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kLocalMachine, "K", "v"), "second");
  // A value written by one object and deleted by another stays deleted.
  reg.Delete(RegRoot::kLocalMachine, "K", "v");
  RegValue value;
  EXPECT_FALSE(other.QueryValue(RegRoot::kLocalMachine, "K", "v", &value));
  EXPECT_TRUE(other.QueryValue(RegRoot::kLocalMachine, "K", "w", &value));
}

TEST(FileRegistryTest, AFailedWriteNamesTheFolderItCouldNotMake) {
  TempDir dir;
  dir.WriteFile("blocker", "a file where a folder should be");
  FileRegistry registry(dir.File("blocker/user.reg"), dir.File("machine.reg"), "");
  std::string error;
  EXPECT_FALSE(registry.SetValue(RegRoot::kCurrentUser, "K", "v", RegValue::Dword(1), &error));
  EXPECT_NE(error.find(dir.File("blocker")), std::string::npos) << error;
}

TEST(FileRegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
  TempRegistry reg;
  constexpr int kWriters = 2;
  constexpr int kValuesEach = 200;
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = ::fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      FileRegistry mine(reg.user_file(), reg.machine_file(), "");
      std::string error;
      for (int i = 0; i < kValuesEach; ++i) {
        std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        if (!mine.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Shared", name,
                           RegValue::Dword(static_cast<std::uint32_t>(w * 1000 + i)), &error)) {
          ::_exit(1);
        }
      }
      ::_exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValuesEach; ++i) {
      std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
      RegValue value;
      ASSERT_TRUE(
          reg.registry().QueryValue(RegRoot::kLocalMachine, "SOFTWARE\\Shared", name, &value))
          << name;
      EXPECT_EQ(value, RegValue::Dword(static_cast<std::uint32_t>(w * 1000 + i))) << name;
    }
  }
}

TEST(FileRegistryTest, UpdatesInTwoProcessesAreEachAppliedToTheOthersResult) {
  TempRegistry reg;
  constexpr int kWriters = 2;
  constexpr int kUpdatesEach = 100;
  const auto append = [](char mark) {
    return [mark](const RegValue* current, RegValue* replacement) {
      *replacement = RegValue::Text((current != nullptr ? current->AsText() : "") + mark);
      return true;
    };
  };
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = ::fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      FileRegistry mine(reg.user_file(), reg.machine_file(), "");
      std::string error;
      for (int i = 0; i < kUpdatesEach; ++i) {
        if (!mine.UpdateValue(RegRoot::kCurrentUser, "Software\\Shared", "log",
                              append(static_cast<char>('a' + w)), &error)) {
          ::_exit(1);
        }
      }
      ::_exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string log =
      QueryText(reg.registry(), RegRoot::kCurrentUser, "Software\\Shared", "log");
  EXPECT_EQ(std::count(log.begin(), log.end(), 'a'), kUpdatesEach) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), 'b'), kUpdatesEach) << log;

  // A change that declines leaves the store alone.
  std::string error;
  EXPECT_TRUE(reg.registry().UpdateValue(
      RegRoot::kCurrentUser, "Software\\Shared", "log",
      [](const RegValue*, RegValue*) { return false; }, &error));
  EXPECT_EQ(QueryText(reg.registry(), RegRoot::kCurrentUser, "Software\\Shared", "log"), log);
}

TEST(FileRegistryTest, AppDataFallsBackToTheDataFolderUnlessTheFileHasIt) {
  TempRegistry reg("/home/someone/.local/share");
  RegValue value;
  ASSERT_TRUE(reg.registry().QueryValue(RegRoot::kCurrentUser, kShellFolders, "AppData", &value));
  EXPECT_EQ(value, RegValue::Text("/home/someone/.local/share", kRegExpandSz));
  ASSERT_TRUE(reg.registry().QueryValue(RegRoot::kCurrentUser,
                                        "software\\microsoft\\windows\\currentversion\\explorer\\"
                                        "user shell folders",
                                        "appdata", &value));
  EXPECT_TRUE(reg.registry().KeyExists(RegRoot::kCurrentUser, "Software\\Microsoft"));
  EXPECT_FALSE(reg.registry().QueryValue(RegRoot::kCurrentUser, kShellFolders, "Desktop", &value));
  EXPECT_FALSE(reg.registry().QueryValue(RegRoot::kLocalMachine, kShellFolders, "AppData", &value));

  reg.SetString(RegRoot::kCurrentUser, kShellFolders, "AppData", "%HOME%/elsewhere", kRegExpandSz);
  ASSERT_TRUE(reg.registry().QueryValue(RegRoot::kCurrentUser, kShellFolders, "AppData", &value));
  EXPECT_EQ(value.AsText(), "%HOME%/elsewhere");
}

TEST(FileRegistryTest, StandardLocationsFollowTheEnvironment) {
  TempDir dir;
  {
    ScopedEnv registry_dir("GANTRELL_REGISTRY_DIR", dir.path().c_str());
    ScopedEnv data_home("XDG_DATA_HOME", "/data/home");
    FileRegistry registry;
    EXPECT_EQ(registry.user_file(), dir.File("user.reg"));
    EXPECT_EQ(registry.machine_file(), dir.File("machine.reg"));
    EXPECT_EQ(QueryText(registry, RegRoot::kCurrentUser, kShellFolders, "AppData"), "/data/home");
  }
  ScopedEnv registry_dir("GANTRELL_REGISTRY_DIR", nullptr);
  ScopedEnv config_home("XDG_CONFIG_HOME", "/config/home");
  FileRegistry registry;
  EXPECT_EQ(registry.user_file(), "/config/home/gantrell/user.reg");
  EXPECT_EQ(registry.machine_file(), "/etc/gantrell/machine.reg");
}

}  // namespace
}  // namespace gantrell
