// Background fetches and registrations against sites on a local server:
// what a cancelled wait leaves behind, and which thread may ask for the
// download folder.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "app/save_paths.h"
#include "local_site.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using std::chrono::steady_clock;
using testing::LocalSite;
using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

// A user who presses Cancel in the wait dialog once `cancel_when` holds
// (for at most ten seconds), and whose folder prompts note their thread.
class PatientFrontend : public ScriptedFrontend {
 public:
  int RunWaitDialog(CWaitHandshake& handshake) override {
    if (!cancel_when)
      return ScriptedFrontend::RunWaitDialog(handshake);
    const std::function<bool()> ready = std::exchange(cancel_when, nullptr);
    ++wait_dialogs;
    handshake.DialogShown([] {});
    for (int i = 0; i < 2000 && !ready(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    cancelled_at = steady_clock::now();
    handshake.Cancel();
    return 2;
  }

  PromptResult AskFolder(std::string* folder) override {
    prompt_threads.push_back(std::this_thread::get_id());
    return ScriptedFrontend::AskFolder(folder);
  }

  std::function<bool()> cancel_when;
  steady_clock::time_point cancelled_at;
  std::vector<std::thread::id> prompt_threads;
};

class BackgroundJobTest : public ::testing::Test {
 protected:
  BackgroundJobTest()
      : key_server_("GANTRELL_KEY_SERVER", "http://127.0.0.1:9"),
        os_(reg_),
        app_(reg_, os_),
        site_(server_, "/p/") {
    app_.SetFrontend(&frontend_);
    app_.m_strDataPath = data_.path();
    app_.SetUpBuiltInProviders();
    for (auto& provider : app_.m_providers)
      provider->m_timeNextCheck = Now() + 30 * kSecondsPerDay;
  }

  // Registers the site and returns its provider.
  CProvider* Register(const LocalSite& site) {
    EXPECT_EQ(app_.RegisterProvider(site.address()), 1);
    return app_.GetProvider(app_.GetProviderCount() - 1);
  }

  static std::chrono::milliseconds Since(steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start);
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  TempDir data_;
  CClientApp app_;
  PatientFrontend frontend_;
  TestHttpServer server_;
  LocalSite site_;
};

TEST_F(BackgroundJobTest, CancelledFetchHasStoppedWhenItReturnsAndTheNextFetchRuns) {
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5));
  CProvider* provider = Register(site_);
  ASSERT_EQ(provider->m_strKeyName, "Example Tools");

  server_.ServeStall(site_.File("control.txt"));
  frontend_.cancel_when = [&] { return server_.RequestCount(site_.File("control.txt")) > 1; };
  EXPECT_EQ(app_.FetchProvider(5), 2);
  EXPECT_LT(Since(frontend_.cancelled_at).count(), 1000);

  // The model is the interface's own again (ThreadSanitizer checks that no
  // worker still touches it).
  provider->m_strKeyName = "changed by the user";
  provider->m_nFetchStatus = 0;
  CUpdateGroup* mine = provider->AddGroup();
  mine->m_strName = "Mine";

  // The cancelled job's end must not end or cancel the next one: this
  // fetch really runs.
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 6), "Renamed Tools");
  EXPECT_EQ(app_.FetchProvider(5), 1);
  EXPECT_EQ(server_.RequestCount(site_.File("control.txt")), 3);
  EXPECT_EQ(provider->m_strKeyName, "Renamed Tools");
  EXPECT_EQ(provider->m_bListParsed, 1);
  EXPECT_TRUE(provider->m_bVerified);
}

TEST_F(BackgroundJobTest, CancelledRegistrationHasStoppedBeforeTheNextOneStarts) {
  LocalSite slow(server_, "/slow/");
  slow.Publish("");
  server_.ServeStall(slow.File("control.txt"));
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5));

  frontend_.cancel_when = [&] { return server_.RequestCount(slow.File("control.txt")) > 0; };
  EXPECT_EQ(app_.RegisterProvider(slow.address()), 2);
  EXPECT_LT(Since(frontend_.cancelled_at).count(), 1000);
  EXPECT_EQ(app_.GetProviderCount(), 6);  // the cancelled one stays

  EXPECT_EQ(app_.RegisterProvider(site_.address()), 1);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"New Provider successfully set up: Example Tools"});
  ASSERT_EQ(app_.GetProviderCount(), 7);
  EXPECT_EQ(app_.GetProvider(6)->m_strAddress, site_.address());
  EXPECT_TRUE(app_.GetProvider(6)->m_bVerified);
}

TEST_F(BackgroundJobTest, DownloadFolderIsAskedOnTheInterfaceThreadBeforeTheDownload) {
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5));
  site_.PublishItem(1, "abc");
  Register(site_);
  ASSERT_FALSE(app_.HasDownloadFolder());
  ASSERT_EQ(FillPendingList(app_).size(), 1u);

  TempDir downloads;
  frontend_.folder_answers = {{PromptResult::kOk, downloads.path()}};
  std::vector<std::string> written;
  EXPECT_EQ(app_.RunDownloads(&written), 1);
  EXPECT_EQ(frontend_.prompt_threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_TRUE(frontend_.download_reports.empty());
  const std::string expected =
      downloads.path() + "/" + ProviderFolderName(site_.address()) + "/1/tool.bin";
  EXPECT_EQ(written, std::vector<std::string>{expected});
  EXPECT_EQ(testing::ReadWholeFile(expected), "abc");

  // With the folder stored, nothing is asked again.
  FillPendingList(app_);
  app_.GetProvider(5)->GetGroup(0)->GetItem(0)->m_bSelected = true;
  EXPECT_EQ(app_.RunDownloads(), 1);
  EXPECT_EQ(frontend_.folder_prompts, 1);
}

TEST_F(BackgroundJobTest, NoDownloadFolderMeansNoPlaceButNoPromptWhenNobodyAnswers) {
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5));
  site_.PublishItem(1, "abc");
  Register(site_);
  FillPendingList(app_);
  // Nobody can answer: the run goes on and the item has no place to go.
  EXPECT_EQ(app_.RunDownloads(), 1);
  EXPECT_EQ(frontend_.prompt_threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_EQ(frontend_.download_reports, std::vector<int>{3});
}

TEST_F(BackgroundJobTest, RefreshThreadNeverAsksForTheDownloadFolder) {
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5, "old.bin"));
  CProvider* provider = Register(site_);
  // As if downloaded: the parse must look for the old file when the
  // location moves.
  provider->GetGroup(0)->GetItem(0)->m_nFileStamp = 5;
  site_.Publish(testing::GroupEntry("G", "tool.bin", 1, 5, "new.bin"));

  TempDir downloads;
  frontend_.folder_answers = {{PromptResult::kOk, downloads.path()}};
  EXPECT_EQ(app_.FetchProvider(5), 1);
  EXPECT_TRUE(frontend_.prompt_threads.empty());
  EXPECT_FALSE(app_.HasDownloadFolder());
  ASSERT_EQ(provider->GetGroupCount(), 1);
  EXPECT_EQ(provider->GetGroup(0)->GetItem(0)->m_strLocation, "new.bin");
}

}  // namespace
}  // namespace gantrell
