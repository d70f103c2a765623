#include "app/main_window_session.h"

#include "app/main_window_model.h"

#include <gtest/gtest.h>

#include "app/client_app.h"
#include "app/download_dialog_model.h"
#include "model/size_text.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_site.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempRegistry;
using testing::TestSite;

// Two provider sites on one local server, and a session whose rebuild
// records the providers known at each call.
class MainWindowSessionTest : public ::testing::Test {
 protected:
  MainWindowSessionTest()
      : key_server_("GANTRELL_KEY_SERVER", nullptr),
        os_(reg_),
        app_(reg_, os_),
        first_(server_, "/first/", "First Tools"),
        second_(server_, "/second/", "Second Tools"),
        session_(app_, [this] { rebuilt_.push_back(app_.GetProviderCount()); }) {
    app_.SetFrontend(&frontend_);
    app_.SetUpBuiltInProviders();
    first_.AddItem("a.bin", 1, "aaa");
    first_.Publish();
    second_.AddItem("b.bin", 2, "bbbb");
    second_.Publish();
  }

  // What the window does at its initialisation with the text start-up
  // was offered.
  void Offer(CMainWindowSession& session, const std::string& offered) {
    app_.m_strPendingProviders = offered;
    session.AddPending(TakeHandedOffProviders(app_));
  }

  void HandOver(const std::string& text) {
    ASSERT_TRUE(app_.profile().WriteProfileString(kSettingsSection, "newprov", text, nullptr));
  }

  static std::string Asked(const std::string& address) {
    return "Subscribe to updates from " + address + "?";
  }

  std::vector<std::string> UserAddresses() const {
    std::vector<std::string> addresses;
    for (int i = 5; i < app_.GetProviderCount(); ++i)
      addresses.push_back(app_.GetProvider(i)->m_strAddress);
    return addresses;
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
  TestHttpServer server_;
  TestSite first_;
  TestSite second_;
  std::vector<int> rebuilt_;
  CMainWindowSession session_;
  CMainWindowSession* session_of_test_ = nullptr;
};

TEST_F(MainWindowSessionTest, HandOffOfTwoAddressesRegistersEachInTurnAndRebuildsAfterEach) {
  HandOver(first_.address() + " * " + second_.address());
  frontend_.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
  session_.OnNewProvider();
  EXPECT_EQ(UserAddresses(), (std::vector<std::string>{first_.address(), second_.address()}));
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{Asked(first_.address()),
                                      "New Provider successfully set up: First Tools",
                                      Asked(second_.address()),
                                      "New Provider successfully set up: Second Tools"}));
  EXPECT_EQ(rebuilt_, (std::vector<int>{6, 7}));
  EXPECT_FALSE(session_.registering());
  EXPECT_EQ(session_.pending(), "");
}

TEST_F(MainWindowSessionTest, HandOffWithoutAStoredValueChangesNothing) {
  session_.OnNewProvider();
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_TRUE(rebuilt_.empty());
  EXPECT_EQ(session_.pending(), "");
  EXPECT_EQ(app_.GetProviderCount(), 5);
}

TEST_F(MainWindowSessionTest, HandOffDuringARegistrationJoinsTheRunningLoop) {
  // The first registration's list rebuild stands for the moment a second
  // instance hands over while the loop runs: the notice must not start a
  // second loop inside the first.
  int depth = 0;
  int deepest = 0;
  CMainWindowSession session(app_, [&] {
    ++depth;
    deepest = std::max(deepest, depth);
    rebuilt_.push_back(app_.GetProviderCount());
    if (rebuilt_.size() == 1) {
      HandOver(second_.address());
      session_of_test_->OnNewProvider();
      EXPECT_TRUE(session_of_test_->registering());
    }
    --depth;
  });
  session_of_test_ = &session;
  frontend_.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
  Offer(session, first_.address());
  session.RegisterPendingProviders();
  EXPECT_EQ(UserAddresses(), (std::vector<std::string>{first_.address(), second_.address()}));
  EXPECT_EQ(rebuilt_, (std::vector<int>{6, 7}));
  EXPECT_EQ(deepest, 1);
}

// A hand-off notice while the question is open reads "newprov", which
// still holds the address asked about: it is not asked about again.
TEST_F(MainWindowSessionTest, AHandOffDuringTheQuestionDoesNotAskTwice) {
  class AskingFrontend : public ScriptedFrontend {
   public:
    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override {
      if (buttons == MessageButtons::kYesNoOrLater && during_question) {
        auto run = std::exchange(during_question, nullptr);
        run();
      }
      return ScriptedFrontend::ShowMessage(text, icon, buttons);
    }
    std::function<void()> during_question;
  } frontend;
  app_.SetFrontend(&frontend);
  HandOver(first_.address());
  frontend.during_question = [&] {
    HandOver(first_.address() + " * " + second_.address());
    session_.OnNewProvider();
  };
  frontend.answers = {MessageAnswer::kNo, MessageAnswer::kNo};
  session_.OnNewProvider();
  EXPECT_EQ(frontend.texts(),
            (std::vector<std::string>{Asked(first_.address()), Asked(second_.address())}));
  EXPECT_TRUE(UserAddresses().empty());
  app_.SetFrontend(&frontend_);
}

TEST_F(MainWindowSessionTest, HandOffWhileAnotherDialogRunsWaitsForItsEnd) {
  // A download or a fetch walks the provider list on its worker: a
  // registration must not grow it meanwhile. The notice is taken once the
  // last of the nested dialogs has ended.
  {
    const CWindowDialogScope download(session_);
    {
      const CWindowDialogScope file_manager(session_);
      HandOver(first_.address());
      frontend_.answers = {MessageAnswer::kYes};
      session_.OnNewProvider();
      EXPECT_TRUE(session_.hand_off_waiting());
    }
    EXPECT_EQ(app_.GetProviderCount(), 5);
    EXPECT_TRUE(rebuilt_.empty());
    EXPECT_EQ(frontend_.wait_dialogs, 0);
  }
  EXPECT_FALSE(session_.hand_off_waiting());
  EXPECT_EQ(UserAddresses(), (std::vector<std::string>{first_.address()}));
  EXPECT_EQ(rebuilt_, (std::vector<int>{6}));

  // With nothing handed over, the end of a dialog changes nothing.
  { const CWindowDialogScope about(session_); }
  EXPECT_EQ(rebuilt_, (std::vector<int>{6}));
}

TEST_F(MainWindowSessionTest, StartupTextOfTwoCharactersOrFewerOffersNothing) {
  Offer(session_, "ab");
  session_.RegisterPendingProviders();
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_EQ(session_.pending(), "");

  // Empty addresses between separators are skipped; the rest register.
  frontend_.answers = {MessageAnswer::kYes};
  Offer(session_, " * " + first_.address());
  session_.RegisterPendingProviders();
  EXPECT_EQ(UserAddresses(), std::vector<std::string>{first_.address()});
  EXPECT_EQ(frontend_.wait_dialogs, 1);
}

TEST_F(MainWindowSessionTest, LineBreakAtTheEndOfTheFileIsNotPartOfTheAddress) {
  frontend_.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
  Offer(session_, first_.address() + " * " + second_.address() + "\r\n");
  session_.RegisterPendingProviders();
  EXPECT_EQ(UserAddresses(), (std::vector<std::string>{first_.address(), second_.address()}));
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{Asked(first_.address()),
                                      "New Provider successfully set up: First Tools",
                                      Asked(second_.address()),
                                      "New Provider successfully set up: Second Tools"}));
}

// A hand-off text with a line break at its end: registered without it, and
// so taken out of "newprov" too, instead of failing again at every start.
TEST_F(MainWindowSessionTest, AnAddressHandedOverWithALineBreakLeavesTheHandOff) {
  HandOver(first_.address() + "\n");
  frontend_.answers = {MessageAnswer::kYes};
  session_.OnNewProvider();
  EXPECT_EQ(UserAddresses(), std::vector<std::string>{first_.address()});
  EXPECT_EQ(app_.profile().GetProfileString(kSettingsSection, "newprov", "?"), "");
}

// Declined addresses are not registered, leave "newprov", and are not
// asked about again; a start by the timer ("-s") asks nothing and leaves
// what was offered waiting in "newprov".
TEST_F(MainWindowSessionTest, DeclinedAddressesLeaveAndSilentStartsAskNothing) {
  HandOver(first_.address() + " * " + second_.address());
  frontend_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  session_.OnNewProvider();
  EXPECT_EQ(UserAddresses(), std::vector<std::string>{second_.address()});
  EXPECT_EQ(app_.profile().GetProfileString(kSettingsSection, "newprov", "?"), "");
  EXPECT_EQ(server_.RequestCount("/first/control.txt"), 0);
  frontend_.messages.clear();
  session_.OnNewProvider();
  EXPECT_TRUE(frontend_.messages.empty());

  app_.m_bStartedSilent = true;
  HandOver(first_.address());
  Offer(session_, "http://file.example/");
  EXPECT_EQ(session_.pending(), "");
  session_.RegisterPendingProviders();
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(app_.profile().GetProfileString(kSettingsSection, "newprov", "?"),
            first_.address() + " * http://file.example/");
}

TEST(MainWindowTextsTest, EntriesAndSelection) {
  CProvider provider;
  provider.m_strKeyName = "Example Tools";
  CUpdateGroup* group = provider.AddGroup();
  CUpdateItem* first = group->AddItem();
  first->m_strName = "tool.exe";
  first->m_strDescription = "The best tool";
  first->m_nLength = 1000;
  CUpdateItem* second = group->AddItem();
  second->m_strName = "data.pak";
  second->m_strDescription = "Data";
  second->m_nLength = 2000;

  EXPECT_EQ(ListEntryText(*first), "tool.exe from Example Tools");
  const SelectionTexts none = DescribeSelection({});
  EXPECT_EQ(none.description, "");
  EXPECT_EQ(none.size, "");
  const SelectionTexts one = DescribeSelection({first});
  EXPECT_EQ(one.description, "The best tool");
  EXPECT_EQ(one.size, FormatSizeText(1000));
  const SelectionTexts two = DescribeSelection({first, second});
  EXPECT_EQ(two.description, "");
  EXPECT_EQ(two.size, FormatSizeText(3000));
}

TEST(DownloadDialogModelTest, BarsStayInsideTheirRangeAndReportsGetTheirIcons) {
  EXPECT_EQ(BarPosition(-3), 0);
  EXPECT_EQ(BarPosition(57), 57);
  EXPECT_EQ(BarPosition(100), 100);
  EXPECT_EQ(BarPosition(250), 100);  // items of unparsed providers are not in the total
  for (int code : {1, 3, 4, 7, 10, 5, 99})
    EXPECT_EQ(DownloadReportIcon(code), MessageIcon::kError) << code;
  for (int code : {2, 6, 8, 9})
    EXPECT_EQ(DownloadReportIcon(code), MessageIcon::kInformation) << code;
}

}  // namespace
}  // namespace gantrell
