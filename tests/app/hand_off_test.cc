// Provider addresses handed from later instances to the running one
// through "newprov": several at once, while the running one still starts,
// and what a registration takes out.
#include "app/hand_off.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <latch>
#include <memory>
#include <thread>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "local_site.h"
#include "platform/os_version_registry.h"
#include "platform/single_instance.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::LocalSite;
using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

TEST(HandOffTextTest, AddressesAreSplitAtTheSeparator) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"", {}},
      {"http://a/", {"http://a/"}},
      {"http://a/ * http://b/", {"http://a/", "http://b/"}},
      {" * http://a/ *  * http://b/ * ", {"http://a/", "http://b/"}},
      {"http://a/*http://b/", {"http://a/*http://b/"}},
      {"http://a/\n", {"http://a/"}},
      {" http://a/\r\n * \thttp://b/ ", {"http://a/", "http://b/"}},
  };
  for (const auto& [text, addresses] : cases)
    EXPECT_EQ(SplitAddresses(text), addresses) << text;
  EXPECT_TRUE(HoldsAddress("http://a/ * http://b/ * ", "http://b/"));
  EXPECT_FALSE(HoldsAddress("http://a/ * http://bb/", "http://b/"));
}

TEST(HandOffTextTest, AddingKeepsWhatWaitsAndRemovingTakesOnlyOneAddress) {
  TempRegistry reg;
  Profile profile(reg.registry(), "gantrell");
  std::string error;
  ASSERT_TRUE(AddHandedOffAddresses(profile, "http://a/", &error)) << error;
  ASSERT_TRUE(AddHandedOffAddresses(profile, "http://b/ * http://a/ * http://c/", &error));
  EXPECT_EQ(ReadHandedOffAddresses(profile), "http://a/ * http://b/ * http://c/");

  ASSERT_TRUE(RemoveHandedOffAddress(profile, "http://b/", &error));
  EXPECT_EQ(ReadHandedOffAddresses(profile), "http://a/ * http://c/");
  ASSERT_TRUE(RemoveHandedOffAddress(profile, "http://missing/", &error));
  EXPECT_EQ(ReadHandedOffAddresses(profile), "http://a/ * http://c/");
  ASSERT_TRUE(RemoveHandedOffAddress(profile, "http://a/", &error));
  ASSERT_TRUE(RemoveHandedOffAddress(profile, "http://c/", &error));
  EXPECT_EQ(profile.GetProfileString("mainpath", "newprov", "?"), "");

  // A file's text that ends in a line break is registered trimmed, and so
  // taken out trimmed.
  ASSERT_TRUE(profile.WriteProfileString("mainpath", "newprov", "http://a/\n", &error));
  EXPECT_TRUE(HoldsAddress(ReadHandedOffAddresses(profile), "http://a/"));
  ASSERT_TRUE(RemoveHandedOffAddress(profile, "http://a/", &error));
  EXPECT_EQ(profile.GetProfileString("mainpath", "newprov", "?"), "");

  // A store that cannot be read is reported and left alone.
  reg.WriteUserFile("not a registry file");
  EXPECT_FALSE(AddHandedOffAddresses(profile, "http://d/", &error));
  EXPECT_FALSE(error.empty());
}

// Instances of one user, each with its own view of the settings files as
// separate processes would have.
class HandOffTest : public ::testing::Test {
 protected:
  HandOffTest()
      : runtime_env_("XDG_RUNTIME_DIR", runtime_.path().c_str()),
        key_server_("GANTRELL_KEY_SERVER", "http://127.0.0.1:9"),
        reg_(app_data_.path()),
        os_(reg_),
        profile_(reg_.registry(), "gantrell") {}

  std::unique_ptr<FileRegistry> OwnView() {
    return std::make_unique<FileRegistry>(reg_.user_file(), reg_.machine_file(), app_data_.path());
  }

  // A later instance offering the addresses in `text`.
  StartupResult HandOver(Registry& registry, const std::string& text, const std::string& name) {
    RegistryOsVersion os(registry);
    CClientApp second(registry, os);
    ScriptedFrontend quiet;
    second.SetFrontend(&quiet);
    second.m_options.offline = true;
    const StartupResult result = second.InitInstance({files_.WriteFile(name, text)});
    EXPECT_TRUE(quiet.messages.empty()) << quiet.messages[0].text;
    return result;
  }

  TempDir runtime_;
  ScopedEnv runtime_env_;
  ScopedEnv key_server_;
  TempDir app_data_;
  TempDir files_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  Profile profile_;
};

TEST_F(HandOffTest, SecondInstancesHandingOverAtOnceAllKeepTheirAddresses) {
  InstanceLock first("GantrellMaster");
  ASSERT_TRUE(first.TryAcquire(50, nullptr));
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", "http://waiting/", nullptr));

  constexpr int kInstances = 4;
  std::latch start(kInstances);
  std::vector<std::thread> instances;
  std::vector<std::string> expected = {"http://waiting/"};
  for (int i = 0; i < kInstances; ++i) {
    const std::string address = "http://p" + std::to_string(i) + ".example/";
    expected.push_back(address);
    instances.emplace_back([this, &start, address, i] {
      std::unique_ptr<FileRegistry> view = OwnView();
      start.arrive_and_wait();
      EXPECT_EQ(HandOver(*view, address, "offer" + std::to_string(i) + ".txt"),
                StartupResult::kHandedOff);
    });
  }
  for (std::thread& instance : instances)
    instance.join();
  EXPECT_EQ(Sorted(SplitAddresses(ReadHandedOffAddresses(profile_))), Sorted(expected));
}

// The running instance's window side: what every frontend does when its
// main window opens.
int OpenMainWindow(CClientApp& app, std::vector<std::string>* registered) {
  std::string pending = TakeHandedOffProviders(app);
  app.RegisterPendingProviders(&pending);
  for (int i = 5; i < app.GetProviderCount(); ++i)
    registered->push_back(app.GetProvider(i)->m_strAddress);
  return 0;
}

// A frontend in which another instance starts and hands over its address
// while the start-up wait is shown.
class BusyFrontend : public ScriptedFrontend {
 public:
  int RunWaitDialog(CWaitHandshake& handshake) override {
    if (during_first_wait) {
      auto run = std::exchange(during_first_wait, nullptr);
      run();
    }
    return ScriptedFrontend::RunWaitDialog(handshake);
  }
  std::function<void()> during_first_wait;
};

TEST_F(HandOffTest, HandOffWhileTheFirstInstanceStartsIsRegisteredWhenItsWindowOpens) {
  TestHttpServer server;
  LocalSite due(server, "/due/"), waiting(server, "/waiting/"), late(server, "/late/");
  due.Publish("", "Due Tools");
  waiting.Publish("", "Waiting Tools");
  late.Publish("", "Late Tools");
  // The running instance has one provider to fetch at start-up, and an
  // address from an earlier hand-off that waited for it.
  TempDir data;
  {
    CClientApp tool(reg_, os_);
    tool.m_strDataPath = data.path();
    testing::WriteStartStore(tool, {due.address()});
  }
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "default", data.path(), nullptr));
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", waiting.address(), nullptr));

  BusyFrontend frontend;
  frontend.during_first_wait = [&] {
    std::unique_ptr<FileRegistry> view = OwnView();
    EXPECT_EQ(HandOver(*view, late.address(), "late.txt"), StartupResult::kHandedOff);
  };
  std::vector<std::string> registered;
  frontend.main_window = [&](CClientApp& app) { return OpenMainWindow(app, &registered); };
  frontend.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
  CClientApp app(reg_, os_);
  app.SetFrontend(&frontend);
  EXPECT_EQ(app.InitInstance({}), StartupResult::kEnded);

  EXPECT_EQ(server.RequestCount("/due/control.txt"), 1);
  EXPECT_EQ(registered,
            (std::vector<std::string>{due.address(), waiting.address(), late.address()}));
  EXPECT_EQ(frontend.texts(),
            (std::vector<std::string>{"Subscribe to updates from " + waiting.address() + "?",
                                      "New Provider successfully set up: Waiting Tools",
                                      "Subscribe to updates from " + late.address() + "?",
                                      "New Provider successfully set up: Late Tools"}));
  EXPECT_EQ(ReadHandedOffAddresses(profile_), "");
}

// Opening a downloaded subscription file: whole starts of the client with
// the file as its argument. The provider names itself "Security Updates",
// but the question shows only the address; No subscribes to nothing, and
// the address does not come back at the next start.
TEST_F(HandOffTest, ASubscriptionFileSubscribesOnlyAfterTheUserSaysYes) {
  TestHttpServer server;
  LocalSite site(server, "/site/");
  site.Publish("GRP \"G\" FILE \"f\" DESC \"d\" NUMB 1 LOCN \"f\" UPD 1/1/2026 LEN 1 TIME 1 END",
               "Security Updates");
  TempDir data;
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "default", data.path(), nullptr));
  const std::string file = files_.WriteFile("offer.gantrell", site.address() + "\n");
  const auto start = [&](std::vector<std::string> arguments, std::deque<MessageAnswer> answers,
                         std::vector<std::string>* texts) {
    ScriptedFrontend frontend;
    std::vector<std::string> registered;
    frontend.main_window = [&](CClientApp& app) { return OpenMainWindow(app, &registered); };
    frontend.answers = std::move(answers);
    CClientApp app(reg_, os_);
    app.SetFrontend(&frontend);
    EXPECT_EQ(app.InitInstance(arguments), StartupResult::kEnded);
    *texts = frontend.texts();
    return registered;
  };

  std::vector<std::string> texts;
  EXPECT_TRUE(start({file}, {MessageAnswer::kNo}, &texts).empty());
  EXPECT_EQ(texts, std::vector<std::string>{"Subscribe to updates from " + site.address() + "?"});
  EXPECT_EQ(server.RequestCount("/site/control.txt"), 0);
  EXPECT_EQ(ReadHandedOffAddresses(profile_), "");
  EXPECT_TRUE(start({}, {}, &texts).empty());
  EXPECT_TRUE(texts.empty());

  // A start by the timer with the file asks nothing and keeps it waiting.
  EXPECT_TRUE(start({"-s", file}, {}, &texts).empty());
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ(ReadHandedOffAddresses(profile_), site.address());

  // The user's own start asks; Yes subscribes.
  EXPECT_EQ(start({}, {MessageAnswer::kYes}, &texts),
            std::vector<std::string>{site.address()});
  EXPECT_EQ(texts, (std::vector<std::string>{"Subscribe to updates from " + site.address() + "?",
                                             "New Provider successfully set up: Security Updates"}));
  EXPECT_EQ(ReadHandedOffAddresses(profile_), "");
}

TEST_F(HandOffTest, WindowTakesEachAddressOnceAndKnownOnesLeaveTheHandOff) {
  CClientApp app(reg_, os_);
  ScriptedFrontend frontend;
  app.SetFrontend(&frontend);
  app.SetUpBuiltInProviders();
  app.m_providers.push_back(std::make_unique<CProvider>());
  app.m_providers.back()->m_strAddress = "http://known/";
  ASSERT_TRUE(
      profile_.WriteProfileString("mainpath", "newprov", "http://known/ * http://b/", nullptr));
  app.m_strPendingProviders = "http://known/";
  EXPECT_EQ(TakeHandedOffProviders(app), "http://known/ * http://b/ * ");
  EXPECT_EQ(app.m_strPendingProviders, "");

  std::string pending = "http://b/ * ";
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", "http://b/ * http://c/", nullptr));
  ReceiveHandedOffProviders(app, &pending);
  EXPECT_EQ(pending, "http://b/ * http://c/ * ");

  // Two characters offer nothing, as at a hand-off.
  app.m_strPendingProviders = "ab";
  ASSERT_TRUE(profile_.DeleteProfileEntry("mainpath", "newprov", nullptr));
  EXPECT_EQ(TakeHandedOffProviders(app), "");

  // An address handed over again after its registration waits no more.
  ASSERT_TRUE(
      profile_.WriteProfileString("mainpath", "newprov", "http://known/ * http://x/", nullptr));
  EXPECT_EQ(app.RegisterProvider("http://known/"), 1);
  EXPECT_EQ(ReadHandedOffAddresses(profile_), "http://x/");
}

}  // namespace
}  // namespace gantrell
