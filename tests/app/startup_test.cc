#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/client_app.h"
#include "platform/file_lock.h"
#include "platform/os_version_registry.h"
#include "platform/single_instance.h"
#include "support/hand_off_client.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"
#include "support/test_system.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

class FailingVersion : public OsVersion {
 public:
  bool Query(OsVersionInfo*) const override { return false; }
};

// A user with a registry and runtime folder of their own; start-ups run
// offline so that no network is involved.
class StartupTest : public ::testing::Test {
 protected:
  StartupTest()
      : runtime_env_("XDG_RUNTIME_DIR", runtime_.path().c_str()),
        key_server_("GANTRELL_KEY_SERVER", "http://127.0.0.1:9"),
        reg_(app_data_.path()),
        os_(reg_),
        profile_(reg_.registry(), "gantrell") {}

  StartupResult Start(std::vector<std::string> arguments, CClientApp* app = nullptr) {
    CClientApp local(reg_, os_);
    CClientApp& target = app != nullptr ? *app : local;
    target.SetFrontend(&frontend_);
    target.m_options.offline = true;
    return target.InitInstance(arguments);
  }

  std::string Setting(const char* name) {
    return profile_.GetProfileString("mainpath", name, "(none)");
  }

  TempDir runtime_;
  ScopedEnv runtime_env_;
  ScopedEnv key_server_;
  TempDir app_data_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  Profile profile_;
  ScriptedFrontend frontend_;
};

TEST_F(StartupTest, FirstRunMakesTheDataFolderAndWritesTheStoreAfterTheWindow) {
  std::string data_path;
  frontend_.main_window = [&](CClientApp& app) {
    data_path = app.m_strDataPath;
    EXPECT_EQ(app.GetProviderCount(), 5);
    return 0;
  };
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  const std::string expected = app_data_.path() + "/Gantrell";
  EXPECT_EQ(data_path, expected);
  EXPECT_EQ(Setting("default"), expected);
  EXPECT_EQ(Setting("dlpath"), expected);
  EXPECT_TRUE(std::filesystem::exists(expected + "/provdata.dat"));
  EXPECT_TRUE(std::filesystem::exists(expected + "/keydata.dat"));
  EXPECT_EQ(frontend_.main_windows, 1);
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(StartupTest, MultiuserNoStopsOnlyNewUsers) {
  reg_.SetString(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "Multiuser",
                 "No");
  EXPECT_EQ(Start({}), StartupResult::kFailed);
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Not permitted for this user"});
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(Setting("default"), "(none)");
  EXPECT_FALSE(std::filesystem::exists(app_data_.path() + "/Gantrell"));

  // Another letter case permits; so does an existing "default".
  reg_.SetString(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "Multiuser",
                 "no");
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  reg_.SetString(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "Multiuser",
                 "No");
  EXPECT_EQ(Start({}), StartupResult::kEnded);
}

TEST_F(StartupTest, ChosenDataFolderReplacesOnlyTheFolder) {
  TempDir chosen;
  const std::string folder = chosen.path() + "/data";
  reg_.SetString(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "Multiuser",
                 "No");
  {
    CClientApp app(reg_, os_);
    app.m_options.data_folder = folder;
    EXPECT_EQ(Start({}, &app), StartupResult::kFailed);
  }
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Not permitted for this user"});
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(Setting("default"), "(none)");

  // Permitted, a first run stores the folder as the data and the download
  // folder, as it would the computed one.
  reg_.Delete(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "Multiuser");
  {
    CClientApp app(reg_, os_);
    app.m_options.data_folder = folder;
    EXPECT_EQ(Start({}, &app), StartupResult::kEnded);
  }
  EXPECT_EQ(Setting("default"), folder);
  EXPECT_EQ(Setting("dlpath"), folder);
  EXPECT_TRUE(std::filesystem::exists(folder + "/provdata.dat"));

  // Later runs leave the stored choice alone.
  TempDir other;
  CClientApp app(reg_, os_);
  app.m_options.data_folder = other.path();
  EXPECT_EQ(Start({}, &app), StartupResult::kEnded);
  EXPECT_EQ(Setting("default"), folder);
  EXPECT_TRUE(std::filesystem::exists(other.File("provdata.dat")));
}

TEST_F(StartupTest, StoredDefaultWithoutStoreFallsBackToTheComputedFolder) {
  TempDir elsewhere;
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "default", elsewhere.path(), nullptr));
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  EXPECT_EQ(Setting("default"), app_data_.path() + "/Gantrell");

  // With a store there, the stored folder is used.
  elsewhere.WriteFile("provdata.dat", "END ");
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "default", elsewhere.path(), nullptr));
  std::string used;
  frontend_.main_window = [&](CClientApp& app) {
    used = app.m_strDataPath;
    return 0;
  };
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  EXPECT_EQ(used, elsewhere.path());
  EXPECT_EQ(Setting("default"), elsewhere.path());
}

TEST_F(StartupTest, FailuresBeforeTheStoreAreReported) {
  FailingVersion no_version;
  CClientApp app(reg_, no_version);
  app.SetFrontend(&frontend_);
  EXPECT_EQ(app.InitInstance({}), StartupResult::kFailed);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"Unable to get windows version information"});

  frontend_.messages.clear();
  reg_.SetDword(RegRoot::kCurrentUser,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                "AppData", 1);
  EXPECT_EQ(Start({}), StartupResult::kFailed);
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Unable to read from Registry"});
}

TEST_F(StartupTest, SecondInstanceHandsItsAddressesToTheFirst) {
  InstanceLock first("GantrellMaster");
  ASSERT_TRUE(first.TryAcquire(50, nullptr));
  std::atomic<int> notices{0};
  auto listener = HandOffListener::Open(
      "Gantrell", [&] { ++notices; }, nullptr);
  ASSERT_NE(listener, nullptr);

  TempDir files;
  // Two characters hand nothing over.
  EXPECT_EQ(Start({files.WriteFile("two.txt", "ab")}), StartupResult::kHandedOff);
  EXPECT_EQ(Setting("newprov"), "(none)");
  EXPECT_EQ(Start({}), StartupResult::kHandedOff);

  EXPECT_EQ(Start({"-s", files.WriteFile("one.txt", "http://a.example/")}),
            StartupResult::kHandedOff);
  EXPECT_EQ(Setting("newprov"), "http://a.example/");
  for (int i = 0; i < 200 && notices.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(notices.load(), 1);
  EXPECT_EQ(frontend_.main_windows, 0);

  // No window yet: the texts wait in "newprov", the new one beside the
  // earlier one, which is not repeated.
  listener.reset();
  EXPECT_EQ(Start({files.WriteFile("b.txt", "http://b.example/ * http://a.example/")}),
            StartupResult::kHandedOff);
  EXPECT_EQ(Setting("newprov"), "http://a.example/ * http://b.example/");
}

// A client that connects to the hand-off channel and sends nothing holds
// up neither the notices after it nor the listener's end (the window's
// close).
TEST_F(StartupTest, ASilentClientDoesNotHoldTheHandOffChannel) {
  if (const char* why = testing::WithoutHandOffConnections())
    GTEST_SKIP() << why;
  std::atomic<int> notices{0};
  auto listener = HandOffListener::Open(
      "Gantrell", [&] { ++notices; }, nullptr);
  ASSERT_NE(listener, nullptr);

  const std::string path = runtime_.path() + "/gantrell/Gantrell.sock";
  const testing::SilentHandOffClient silent(path);
  ASSERT_TRUE(silent.connected());
  // Without the deadline the listener would wait for this client until it
  // goes; it goes after 5 s so that a failing run ends.
  std::thread guard([&silent] {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    silent.Hang();
  });

  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(NotifyHandOff("Gantrell"));
  for (int i = 0; i < 600 && notices.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(notices.load(), 1);

  // A second silent client while the window closes.
  const testing::SilentHandOffClient another(path);
  ASSERT_TRUE(another.connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  listener.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  guard.join();
}

TEST_F(StartupTest, HandedOverAddressesJoinTheFileArgument) {
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", "http://a.example/", nullptr));
  TempDir files;
  std::string pending;
  frontend_.main_window = [&](CClientApp& app) {
    pending = app.m_strPendingProviders;
    return 0;
  };
  EXPECT_EQ(Start({files.WriteFile("f.txt", "http://b.example/")}), StartupResult::kEnded);
  EXPECT_EQ(pending, "http://a.example/ * http://b.example/");
}

TEST_F(StartupTest, SilentCheckWithNothingPendingShowsNoWindow) {
  EXPECT_EQ(Start({"-s"}), StartupResult::kEnded);
  EXPECT_EQ(frontend_.main_windows, 0);
  EXPECT_TRUE(std::filesystem::exists(app_data_.path() + "/Gantrell/provdata.dat"));
}

TEST_F(StartupTest, AStoreThatCannotBeWrittenIsReported) {
  // A folder where the store file belongs: the save must fail, and say so.
  TempDir data;
  std::filesystem::create_directories(data.File("provdata.dat"));
  CClientApp app(reg_, os_);
  app.m_options.data_folder = data.path();
  EXPECT_EQ(Start({}, &app), StartupResult::kEnded);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text.rfind("Unable to save the provider store: ", 0), 0u)
      << frontend_.messages[0].text;
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_TRUE(std::filesystem::is_directory(data.File("provdata.dat")));
  // Nothing of the failed save is left, and the key file was not replaced
  // without its store.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(data.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"provdata.dat", "provdata.dat.lock"}));
}

TEST_F(StartupTest, InstanceLocksAreReleasedAtTheEnd) {
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  InstanceLock next("GantrellMaster");
  EXPECT_TRUE(next.TryAcquire(50, nullptr));
  FileLock store;
  std::string error;
  EXPECT_EQ(store.TryLock(app_data_.path() + "/Gantrell/provdata.dat.lock", &error),
            FileLock::TryResult::kTaken)
      << error;
}

// Cron jobs and ssh sessions run with another runtime folder than the
// desktop: the store decides, not the runtime folder.
TEST_F(StartupTest, ASecondRunOnTheSameDataFolderIsASecondInstanceWhateverItsRuntimeFolder) {
  if (const char* why = testing::WithoutRuntimeFolders())
    GTEST_SKIP() << why;
  std::atomic<int> notices{0};
  auto listener = HandOffListener::Open(
      "Gantrell", [&] { ++notices; }, nullptr);
  ASSERT_NE(listener, nullptr);
  TempDir files;
  const std::string offered = files.WriteFile("a.txt", "http://a.example/");
  StartupResult second = StartupResult::kFailed;
  StartupResult elsewhere = StartupResult::kFailed;
  bool second_saw_a_window = false;
  frontend_.main_window = [&](CClientApp&) {
    TempDir other_runtime;
    ScopedEnv other("XDG_RUNTIME_DIR", other_runtime.path().c_str());
    ScriptedFrontend second_frontend;
    second_frontend.main_window = [&](CClientApp&) {
      second_saw_a_window = true;
      return 0;
    };
    CClientApp app(reg_, os_);
    app.SetFrontend(&second_frontend);
    app.m_options.offline = true;
    second = app.InitInstance({offered});
    // Another data folder with that runtime folder is an instance of its
    // own.
    TempDir other_data;
    CClientApp third(reg_, os_);
    third.SetFrontend(&second_frontend);
    third.m_options.offline = true;
    third.m_options.data_folder = other_data.path();
    elsewhere = third.InitInstance({});
    return 0;
  };
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  EXPECT_EQ(second, StartupResult::kHandedOff);
  EXPECT_EQ(elsewhere, StartupResult::kEnded);
  EXPECT_TRUE(second_saw_a_window);  // the third's
  EXPECT_EQ(Setting("newprov"), "http://a.example/");
  // The notice reached the running instance's channel, in its own runtime
  // folder.
  for (int i = 0; i < 200 && notices.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(notices.load(), 1);
}

TEST_F(StartupTest, ADataFolderThatCannotBeLockedStopsTheStart) {
  TempDir data;
  std::filesystem::create_directories(data.File("provdata.dat.lock"));
  CClientApp app(reg_, os_);
  app.m_options.data_folder = data.path();
  EXPECT_EQ(Start({}, &app), StartupResult::kFailed);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text,
            "Unable to lock the data folder: Cannot open lock file " +
                data.File("provdata.dat.lock") + ": " +
                testing::FaultText(testing::FileFault::kIsAFolder));
  EXPECT_EQ(frontend_.main_windows, 0);
  EXPECT_FALSE(std::filesystem::exists(data.File("provdata.dat")));
}

TEST_F(StartupTest, AnEndRequestedBeforeTheWindowSkipsItAndStillSaves) {
  CClientApp app(reg_, os_);
  app.RequestEnd();
  EXPECT_EQ(Start({}, &app), StartupResult::kEnded);
  EXPECT_EQ(frontend_.main_windows, 0);
  EXPECT_TRUE(std::filesystem::exists(app_data_.path() + "/Gantrell/provdata.dat"));
}

TEST_F(StartupTest, KeyListCheck) {
  CClientApp app(reg_, os_);
  app.SetFrontend(&frontend_);
  app.SetUpBuiltInProviders();
  EXPECT_TRUE(app.CheckKeyList());
  app.GetProvider(2)->m_nFetchStatus = 7;
  EXPECT_TRUE(app.CheckKeyList());
  for (int status : {5, 6}) {
    app.GetProvider(3)->m_nFetchStatus = status;
    frontend_.messages.clear();
    EXPECT_FALSE(app.CheckKeyList()) << status;
    EXPECT_EQ(
        frontend_.texts(),
        std::vector<std::string>{
            "Your key installation appears invalid.\n Contact Gantrell on support@gantrell.org"});
  }
  app.m_providers.resize(3);
  frontend_.messages.clear();
  EXPECT_FALSE(app.CheckKeyList());
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"Key list appear corrupt. Reinstall Gantrell"});
}

}  // namespace
}  // namespace gantrell
