// Whole start-ups that fetch a provider site on a local server: silent
// checks, and a site that stops publishing a group.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "local_site.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::GroupEntry;
using testing::LocalSite;
using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

class WholeRunTest : public ::testing::Test {
 protected:
  WholeRunTest()
      : runtime_env_("XDG_RUNTIME_DIR", runtime_.path().c_str()),
        key_server_("GANTRELL_KEY_SERVER", "http://127.0.0.1:9"),
        reg_(app_data_.path()),
        os_(reg_),
        profile_(reg_.registry(), "gantrell"),
        site_(server_, "/p/") {
    CClientApp tool(reg_, os_);
    tool.m_strDataPath = data_.path();
    testing::WriteStartStore(tool, {site_.address()});
    EXPECT_TRUE(profile_.WriteProfileString("mainpath", "default", data_.path(), nullptr));
    EXPECT_TRUE(profile_.WriteProfileString("mainpath", "dlpath", data_.path(), nullptr));
    // An hour back, so that a rewrite shows even where file times count
    // whole seconds (the C runtime's on Windows).
    std::filesystem::last_write_time(
        data_.File("provdata.dat"),
        std::filesystem::last_write_time(data_.File("provdata.dat")) - std::chrono::hours(1));
    store_written_ = std::filesystem::last_write_time(data_.File("provdata.dat"));
  }

  StartupResult Start(std::vector<std::string> arguments) {
    CClientApp app(reg_, os_);
    app.SetFrontend(&frontend_);
    return app.InitInstance(arguments);
  }

  // The site's provider as the store holds it now.
  std::unique_ptr<CProvider> StoredSite() {
    CClientApp reader(reg_, os_);
    reader.m_strDataPath = data_.path();
    reader.LoadStore();
    for (auto& provider : reader.m_providers) {
      if (provider->m_strAddress == site_.address())
        return std::move(provider);
    }
    ADD_FAILURE() << "the store holds no provider " << site_.address();
    return std::make_unique<CProvider>();
  }

  static std::vector<std::string> GroupNames(const CProvider& provider) {
    std::vector<std::string> names;
    for (int g = 0; g < provider.GetGroupCount(); ++g)
      names.push_back(provider.GetGroup(g)->m_strName);
    return names;
  }

  bool StoreRewritten() const {
    return std::filesystem::last_write_time(data_.File("provdata.dat")) != store_written_;
  }

  TempDir runtime_;
  ScopedEnv runtime_env_;
  ScopedEnv key_server_;
  TempDir app_data_;
  TempDir data_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  Profile profile_;
  ScriptedFrontend frontend_;
  TestHttpServer server_;
  LocalSite site_;
  std::filesystem::file_time_type store_written_;
};

TEST_F(WholeRunTest, SilentCheckWithNothingNewFetchesWritesTheStoreAndShowsNothing) {
  site_.Publish(GroupEntry("Tools", "tool.bin", 1, 5));
  // The item was taken before: nothing is new.
  {
    CClientApp tool(reg_, os_);
    tool.m_strDataPath = data_.path();
    tool.LoadStore();
    CProvider& site = *tool.GetProvider(5);
    CUpdateItem* item = site.AddGroup()->AddItem();
    item->m_pGroup->m_strName = "Tools";
    item->m_strName = "tool.bin";
    item->m_nStamp = item->m_nTakenStamp = 5;
    ASSERT_TRUE(tool.SaveStore(nullptr));
  }
  std::filesystem::last_write_time(data_.File("provdata.dat"),
                                   store_written_ - std::chrono::hours(1));
  store_written_ = std::filesystem::last_write_time(data_.File("provdata.dat"));

  EXPECT_EQ(Start({"-s"}), StartupResult::kEnded);
  EXPECT_EQ(server_.RequestCount(site_.File("control.txt")), 1);
  EXPECT_EQ(frontend_.main_windows, 0);
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_TRUE(frontend_.messages.empty()) << frontend_.messages[0].text;
  EXPECT_TRUE(StoreRewritten());
  const std::unique_ptr<CProvider> stored = StoredSite();
  EXPECT_EQ(stored->m_strKeyName, "Example Tools");
  EXPECT_GT(stored->m_timeNextCheck, Now());
  ASSERT_EQ(GroupNames(*stored), std::vector<std::string>{"Tools"});
  EXPECT_EQ(stored->GetGroup(0)->GetItem(0)->m_nTakenStamp, 5);
}

TEST_F(WholeRunTest, SilentCheckWithANewItemOpensTheWindowAsAnOrdinaryStart) {
  site_.Publish(GroupEntry("Tools", "tool.bin", 1, 5));
  std::vector<std::string> listed;
  int waits_in_window = -1;
  frontend_.main_window = [&](CClientApp& app) {
    EXPECT_FALSE(app.m_bSilent);
    for (CUpdateItem* item : FillPendingList(app))
      listed.push_back(item->m_strName);
    // A re-fetch from the window shows the wait dialog again.
    EXPECT_EQ(app.FetchProvider(5), 1);
    waits_in_window = frontend_.wait_dialogs;
    return 0;
  };
  EXPECT_EQ(Start({"-s"}), StartupResult::kEnded);
  EXPECT_EQ(frontend_.main_windows, 1);
  EXPECT_EQ(listed, std::vector<std::string>{"tool.bin"});
  EXPECT_EQ(waits_in_window, 1);
  EXPECT_EQ(server_.RequestCount(site_.File("control.txt")), 2);
  EXPECT_TRUE(StoreRewritten());
}

TEST_F(WholeRunTest, GroupTheSiteStopsPublishingIsDroppedByTheNextRun) {
  site_.Publish(GroupEntry("Kept", "a.bin", 1, 5) + " " + GroupEntry("Retired", "b.bin", 2, 5));
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  EXPECT_EQ(GroupNames(*StoredSite()), (std::vector<std::string>{"Kept", "Retired"}));

  // The next run comes when the site is due again, and it publishes one
  // group less.
  {
    CClientApp tool(reg_, os_);
    tool.m_strDataPath = data_.path();
    tool.LoadStore();
    tool.GetProvider(5)->m_timeNextCheck = Now() - kSecondsPerDay;
    ASSERT_TRUE(tool.SaveStore(nullptr));
  }
  site_.Publish(GroupEntry("Kept", "a.bin", 1, 5));
  std::vector<std::string> in_window;
  frontend_.main_window = [&](CClientApp& app) {
    in_window = GroupNames(*app.GetProvider(5));
    return 0;
  };
  EXPECT_EQ(Start({}), StartupResult::kEnded);
  EXPECT_EQ(server_.RequestCount(site_.File("control.txt")), 2);
  EXPECT_EQ(in_window, std::vector<std::string>{"Kept"});
  EXPECT_EQ(GroupNames(*StoredSite()), std::vector<std::string>{"Kept"});
}

}  // namespace
}  // namespace gantrell
