#include "net/update_fetcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fetch_test_util.h"

namespace gantrell {
namespace {

using testing::ScriptedFile;
using testing::ScriptedHttpSession;
using testing::ScriptedLog;
using testing::SharedPublisher;

std::string Site(int i) {
  return "http://site" + std::to_string(i) + ".test/";
}

// Authority entries 0-3 (serving their keys) and `count` user providers,
// every one of them due, every site serving a signed control file.
struct Fixture {
  explicit Fixture(int count,
                   std::chrono::milliseconds response_delay = std::chrono::milliseconds(2))
      : providers(testing::MakeAuthorities()), delay(response_delay) {
    for (int a = 0; a < 4; ++a) {
      files[providers[static_cast<std::size_t>(a)]->m_strAddress + "public.dat"].body =
          testing::ToText(SharedPublisher(a).record);
    }
    for (int i = 0; i < count; ++i) {
      const testing::Publisher& key = SharedPublisher(4 + i % 3);
      providers.push_back(testing::MakeProvider(Site(i), &key));
      testing::AddSite(&files, Site(i), key, 100 + i);
    }
    for (auto& provider : providers) {
      provider->m_timeNextCheck = testing::TestNow() - kSecondsPerDay;
      provider->m_nFetchStatus = -1;
    }
  }

  FetchEnvironment Environment() {
    FetchEnvironment environment;
    environment.is_cancelled = [this] { return cancelled.load(); };
    environment.now = [] { return testing::TestNow(); };
    environment.open_session = [this](std::string* error) -> std::unique_ptr<AsyncHttpSession> {
      if (failed_opens > 0) {
        --failed_opens;
        *error = "no network";
        return nullptr;
      }
      return std::make_unique<ScriptedHttpSession>(files, delay, log);
    };
    return environment;
  }

  CProvider& User(int i) { return *providers[static_cast<std::size_t>(4 + i)]; }

  ProviderList providers;
  std::map<std::string, ScriptedFile> files;
  std::chrono::milliseconds delay;
  std::shared_ptr<ScriptedLog> log = std::make_shared<ScriptedLog>();
  std::atomic<bool> cancelled{false};
  int failed_opens = 0;
};

TEST(UpdateFetcherTest, FetchesEveryDueProviderWithAtMostTenInFlight) {
  for (int count : {1, 11, 40}) {
    Fixture f(count);
    CUpdateFetcher fetcher(f.providers, f.Environment());
    fetcher.RunFetch(-1);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(f.User(i).m_nFetchStatus, 0) << count << " providers, #" << i;
      EXPECT_TRUE(f.User(i).m_bTransferFlag) << count << " providers, #" << i;
      ASSERT_NE(f.User(i).FindGroup("Tools"), nullptr) << count << " providers, #" << i;
      EXPECT_EQ(f.User(i).FindGroup("Tools")->GetItem(0)->m_nStamp, 100 + i) << i;
    }
    for (int a = 0; a < 4; ++a)
      EXPECT_EQ(f.providers[static_cast<std::size_t>(a)]->m_nFetchStatus, 0) << a;
    EXPECT_LE(f.log->peak_open(), 10) << count;
    // Four authority key files plus three files per provider.
    EXPECT_EQ(f.log->opened_urls().size(), static_cast<std::size_t>(4 + 3 * count)) << count;
  }
}

// With no delay, completion notices race with the steps that started the
// operations; a lost notice would hang the fetch or strand a provider.
TEST(UpdateFetcherTest, NoticesArrivingWhileAStepRunsAreNotLost) {
  for (int round = 0; round < 20; ++round) {
    Fixture f(25, std::chrono::milliseconds(0));
    CUpdateFetcher fetcher(f.providers, f.Environment());
    fetcher.RunFetch(-1);
    for (int i = 0; i < 25; ++i)
      ASSERT_EQ(f.User(i).m_nFetchStatus, 0) << "round " << round << " #" << i;
  }
}

TEST(UpdateFetcherTest, OnlyDueProvidersAreFetched) {
  Fixture f(4);
  f.User(0).m_timeNextCheck = testing::TestNow() + 3600;  // an hour away: not due
  f.User(1).m_timeNextCheck = testing::TestNow() + 3599;  // within the hour: due
  f.User(2).m_timeNextCheck = testing::TestNow() + 30 * 86400;
  f.User(2).m_nVerifyState = 4;  // forced
  f.User(3).m_timeNextCheck = testing::TestNow() + 30 * 86400;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  fetcher.RunFetch(-1);
  const int expected_state[] = {3, 1, 1, 3};
  const bool expected_fetched[] = {false, true, true, false};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.User(i).m_nVerifyState, expected_state[i]) << i;
    EXPECT_EQ(f.User(i).m_bTransferFlag, expected_fetched[i]) << i;
  }
}

TEST(UpdateFetcherTest, NothingDueOpensNoSession) {
  Fixture f(3);
  for (auto& provider : f.providers)
    provider->m_timeNextCheck = testing::TestNow() + 2 * 3600;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  fetcher.RunFetch(-1);
  EXPECT_EQ(f.log->sessions_opened(), 0);
  for (auto& provider : f.providers)
    EXPECT_EQ(provider->m_nVerifyState, 3);
}

TEST(UpdateFetcherTest, ASingleProviderIsAlwaysDue) {
  Fixture f(3);
  for (auto& provider : f.providers)
    provider->m_timeNextCheck = testing::TestNow() + 30 * 86400;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  fetcher.RunFetch(5);
  EXPECT_EQ(f.User(1).m_nFetchStatus, 0);
  EXPECT_TRUE(f.User(1).m_bTransferFlag);
  EXPECT_EQ(f.User(0).m_nFetchStatus, -1);
  EXPECT_EQ(f.User(2).m_nFetchStatus, -1);
  EXPECT_EQ(f.log->opened_urls().size(), 3u);
  // An index past the end fetches nothing.
  fetcher.RunFetch(99);
  EXPECT_EQ(f.log->sessions_opened(), 1);
}

TEST(UpdateFetcherTest, FailuresStayWithTheirProvider) {
  Fixture f(4);
  f.files[Site(1) + "control.sig"].body = "SIG1garbage";
  f.files[Site(2) + "public.dat"].body = "<html>gone</html>";
  f.files[Site(3) + "control.txt"].refuse = true;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  fetcher.RunFetch(-1);
  const int expected[] = {0, 9, 7, 10};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(f.User(i).m_nFetchStatus, expected[i]) << i;
}

TEST(UpdateFetcherTest, ASessionIsTriedExactlyOnceMore) {
  for (int failures : {1, 2, 3}) {
    Fixture f(1);
    f.failed_opens = failures;
    CUpdateFetcher fetcher(f.providers, f.Environment());
    fetcher.RunFetch(-1);
    EXPECT_EQ(f.User(0).m_nFetchStatus, failures < 2 ? 0 : -1) << failures << " failures";
    EXPECT_EQ(f.failed_opens, failures < 2 ? 0 : failures - 2) << failures << " failures";
  }
}

TEST(UpdateFetcherTest, CancelBeforeOpeningMarksProvidersNotDue) {
  Fixture f(3);
  f.cancelled = true;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  fetcher.RunFetch(-1);
  EXPECT_EQ(f.log->sessions_opened(), 0);
  for (auto& provider : f.providers) {
    EXPECT_EQ(provider->m_nVerifyState, 3);
    EXPECT_EQ(provider->m_nFetchStatus, -1);
  }
}

TEST(UpdateFetcherTest, CancelDuringTheFetchEndsItPromptly) {
  Fixture f(30);
  // Every provider's control file stalls for a minute.
  for (int i = 0; i < 30; ++i)
    f.files[Site(i) + "control.txt"].stall = true;
  CUpdateFetcher fetcher(f.providers, f.Environment());
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    f.cancelled = true;
    fetcher.WakeForCancel();
  });
  const auto start = std::chrono::steady_clock::now();
  fetcher.RunFetch(-1);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  int untouched = 0;
  for (int i = 0; i < 30; ++i)
    untouched += f.User(i).m_nFetchStatus == -1;
  EXPECT_GT(untouched, 0);
}

}  // namespace
}  // namespace gantrell
