// Changes that must outlast the run are written when they are made, and an
// end request (a logout's SIGTERM) stops the run as Cancel would, keeping
// what was done before it. Against a provider site on a local server.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/client_app.h"
#include "app/config_session.h"
#include "app/file_manager_model.h"
#include "app/main_window_model.h"
#include "app/save_location_move.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_http_server.h"
#include "support/test_site.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;
using testing::TestSite;

// A loaded store in a data folder of its own, with a registered site of
// three items ("a.bin" 1, "b.bin" 2, "c.bin" 3).
class LastingChangesTest : public ::testing::Test {
 protected:
  LastingChangesTest()
      : key_server_("GANTRELL_KEY_SERVER", key_server_url_.c_str()),
        os_(reg_),
        app_(reg_, os_),
        site_(server_, "/p/", "Example Tools") {
    app_.SetFrontend(&frontend_);
    app_.m_strDataPath = data_.path();
    app_.LoadStore();
    EXPECT_TRUE(
        app_.profile().WriteProfileString("mainpath", "dlpath", downloads_.path(), nullptr));
    site_.AddItem("a.bin", 1, "first bytes");
    site_.AddItem("b.bin", 2, "second bytes");
    site_.AddItem("c.bin", 3, "third bytes");
    site_.Publish();
  }

  // Registers the site; true when it was set up.
  bool Register() {
    app_.RegisterProvider(site_.address());
    return app_.GetProviderCount() == 6 && app_.GetProvider(5)->m_bVerified;
  }

  CUpdateItem& Item(int index) { return *app_.GetProvider(5)->GetGroup(0)->GetItem(index); }

  // The site's provider as the store on disk holds it now; nullptr when
  // it holds none.
  std::unique_ptr<CProvider> Stored() {
    CClientApp reader(reg_, os_);
    reader.m_strDataPath = data_.path();
    reader.LoadStore();
    for (auto& provider : reader.m_providers) {
      if (provider->m_strAddress == site_.address())
        return std::move(provider);
    }
    return nullptr;
  }
  const CUpdateItem* StoredItem(const CProvider& provider, int index) {
    return provider.GetGroupCount() > 0 ? provider.GetGroup(0)->GetItem(index) : nullptr;
  }

  TestHttpServer server_;
  std::string key_server_url_{server_.Url("")};
  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  TempDir data_;
  TempDir downloads_;
  ScriptedFrontend frontend_;
  CClientApp app_;
  TestSite site_;
};

TEST_F(LastingChangesTest, EveryLastingChangeIsInTheStoreAtOnce) {
  // A registration.
  ASSERT_TRUE(Register());
  ASSERT_NE(Stored(), nullptr);

  // The end of a download run: what was filed counts as taken.
  ASSERT_EQ(DownloadListed(app_, {&Item(0)}), 1);
  ASSERT_EQ(Item(0).m_nTakenStamp, Item(0).m_nStamp);
  EXPECT_EQ(StoredItem(*Stored(), 0)->m_nTakenStamp, Item(0).m_nStamp);

  // Remove.
  RemoveItems(app_, {&Item(1)});
  EXPECT_EQ(StoredItem(*Stored(), 1)->m_nTakenStamp, Item(1).m_nStamp);

  // A move of an item not yet downloaded: only its path changes.
  const std::string moved = downloads_.File("elsewhere.bin");
  ASSERT_EQ(MoveSaveLocation(app_, Item(2), moved), MoveOutcome::kPathOnly);
  EXPECT_EQ(StoredItem(*Stored(), 2)->m_strSavePath, moved);

  // A delete in the file manager.
  ASSERT_NE(StoredItem(*Stored(), 0)->m_nFileStamp, -1);
  frontend_.answers.push_back(MessageAnswer::kYes);  // no trash: delete for good
  DeleteDownloadedFile(app_, Item(0), nullptr);
  EXPECT_EQ(StoredItem(*Stored(), 0)->m_nFileStamp, -1);

  // Configure OK that deletes the provider: it is gone from the store, and
  // would not come back listing files that are gone.
  frontend_.answers.push_back(MessageAnswer::kYes);
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.provider(), app_.GetProvider(5));
  session.DeleteProvider();
  session.Commit();
  EXPECT_EQ(Stored(), nullptr);
}

TEST_F(LastingChangesTest, AFailedSaveIsShownOnceAndChangesNothingElse) {
  ASSERT_TRUE(Register());
  frontend_.messages.clear();
  // A folder where the store file belongs: every save fails.
  std::filesystem::remove(data_.File("provdata.dat"));
  std::filesystem::create_directories(data_.File("provdata.dat"));
  RemoveItems(app_, {&Item(0)});
  RemoveItems(app_, {&Item(1)});
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text.rfind("Unable to save the provider store: ", 0), 0u)
      << frontend_.messages[0].text;
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(Item(1).m_nTakenStamp, Item(1).m_nStamp);
}

TEST_F(LastingChangesTest, NothingToDownloadOrACancelledFolderPromptDownloadsNothing) {
  ASSERT_TRUE(Register());
  // An empty list: no fetch, no download dialog.
  EXPECT_EQ(DownloadListed(app_, {}), 2);
  EXPECT_EQ(frontend_.download_dialogs, 0);

  // No download folder: Cancel at the prompt ends the run at once.
  app_.profile().DeleteProfileEntry("mainpath", "dlpath", nullptr);
  frontend_.folder_answers = {{PromptResult::kCancel, ""}, {PromptResult::kOk, downloads_.path()}};
  EXPECT_EQ(DownloadListed(app_, {&Item(0)}), 2);
  EXPECT_EQ(frontend_.folder_prompts, 1);
  EXPECT_EQ(frontend_.download_dialogs, 0);
  EXPECT_EQ(server_.RequestCount("/p/1.dat"), 0);
  EXPECT_FALSE(app_.HasDownloadFolder());

  // With nobody to ask, the run still goes: the item has no place to go.
  frontend_.folder_answers.clear();
  EXPECT_EQ(DownloadListed(app_, {&Item(0)}), 1);
  EXPECT_EQ(frontend_.download_dialogs, 1);
}

TEST_F(LastingChangesTest, AnEndRequestInADownloadRunKeepsWhatWasFiled) {
  ASSERT_TRUE(Register());
  // The request comes as the second item starts, from the worker's thread
  // (as from the signal watch's own).
  frontend_.on_download_item_started = [this](const CUpdateItem& item) {
    if (item.m_strName == "b.bin")
      app_.RequestEnd();
  };
  EXPECT_EQ(DownloadListed(app_, {&Item(0), &Item(1), &Item(2)}), 1);
  EXPECT_TRUE(app_.end_requested());
  EXPECT_EQ(frontend_.end_requests.load(), 1);
  EXPECT_EQ(Item(0).m_nTakenStamp, Item(0).m_nStamp);
  EXPECT_NE(Item(1).m_nTakenStamp, Item(1).m_nStamp);
  EXPECT_EQ(server_.RequestCount("/p/3.dat"), 0);
  EXPECT_TRUE(frontend_.download_reports.empty());

  // The run's end wrote the store.
  const std::unique_ptr<CProvider> stored = Stored();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(StoredItem(*stored, 0)->m_nTakenStamp, Item(0).m_nStamp);
  EXPECT_NE(StoredItem(*stored, 1)->m_nTakenStamp, Item(1).m_nStamp);

  // Nothing new starts: a download run or a fetch ends at once, cancelled.
  frontend_.on_download_item_started = nullptr;
  EXPECT_EQ(app_.RunDownloads(), 2);
  EXPECT_EQ(frontend_.download_dialogs, 1);
  EXPECT_EQ(app_.FetchProvider(5), 2);
}

TEST_F(LastingChangesTest, AnEndRequestStopsAFetchThatWaitsOnTheNetwork) {
  ASSERT_TRUE(Register());
  server_.ServeStall("/p/control.txt");
  app_.GetProvider(5)->m_nVerifyState = 4;  // fetched, due or not
  std::thread requester([this] {
    for (int i = 0; i < 1000 && server_.RequestCount("/p/control.txt") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    app_.RequestEnd();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(app_.FetchProvider(5), 2);
  requester.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(server_.RequestCount("/p/control.txt"), 1);
}

}  // namespace
}  // namespace gantrell
