// The fetcher's pieces over real HTTP on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fetch_test_util.h"
#include "net/binary_transfer.h"
#include "net/text_transfer.h"
#include "net/update_fetcher.h"
#include "support/test_http_server.h"

namespace gantrell {
namespace {

using testing::SharedPublisher;
using testing::StepDriver;
using testing::ToText;

std::unique_ptr<AsyncHttpSession> RealSession(std::chrono::milliseconds idle_timeout) {
  HttpOptions options;
  options.idle_timeout = idle_timeout;
  std::string error;
  auto session = OpenAsyncHttpSession(options, &error);
  EXPECT_NE(session, nullptr) << error;
  return session;
}

// Counts the requests a session holds open at once.
class CountingSession : public AsyncHttpSession {
 public:
  CountingSession(std::unique_ptr<AsyncHttpSession> inner, std::atomic<int>* peak)
      : inner_(std::move(inner)), peak_(peak) {}
  void SetStatusCallback(HttpStatusCallback callback) override {
    inner_->SetStatusCallback(std::move(callback));
  }
  HttpResult OpenUrl(const std::string& url, std::uintptr_t context, HttpHandle* handle) override {
    const HttpResult result = inner_->OpenUrl(url, context, handle);
    if (result != HttpResult::kFailed) {
      const int now_open = ++open_;
      int peak = peak_->load();
      while (now_open > peak && !peak_->compare_exchange_weak(peak, now_open)) {
      }
    }
    return result;
  }
  HttpResult Read(HttpHandle handle, void* buffer, std::size_t capacity, std::size_t* bytes_read,
                  std::uintptr_t context) override {
    return inner_->Read(handle, buffer, capacity, bytes_read, context);
  }
  bool Close(HttpHandle handle) override {
    const bool closed = inner_->Close(handle);
    if (closed)
      --open_;
    return closed;
  }
  // Requests still open when the last session went, which the session then
  // had to close itself.
  ~CountingSession() override { last_open = open_.load(); }
  static inline std::atomic<int> last_open{-1};

 private:
  std::unique_ptr<AsyncHttpSession> inner_;
  std::atomic<int>* peak_;
  std::atomic<int> open_{0};
};

struct TransferCase {
  const char* name;
  std::function<void(TestHttpServer&)> serve;
  bool text;
  int expected;
  std::string expected_content;
};

TEST(FetchOverHttpTest, TransfersReadWhatTheServerSends) {
  const std::string limit(CTextTransfer::kMaxTextLength, 't');
  const std::string body(3000, 'b');
  const TransferCase cases[] = {
      {"binary of 2000 bytes", [](auto& s) { s.ServeGenerated("/f", 2000); }, false, 0,
       TestHttpServer::Pattern(512)},
      {"binary error page", [](auto& s) { s.Serve("/f", "gone", 404); }, false, 0, "gone"},
      {"binary cut", [&](auto& s) { s.ServeCut("/f", body, 100); }, false, kReadFailed, ""},
      {"text slowly",
       [&](auto& s) { s.ServeSlowly("/f", body, 700, std::chrono::milliseconds(5)); }, true, 0,
       body},
      {"text of 1,000,000", [&](auto& s) { s.Serve("/f", limit); }, true, 0, limit},
      {"text of 1,000,001", [&](auto& s) { s.Serve("/f", limit + "t"); }, true, kReadFailed, ""},
      {"text cut", [&](auto& s) { s.ServeCut("/f", body, 1000); }, true, kReadFailed,
       body.substr(0, 1000)},
      {"text stalled", [](auto& s) { s.ServeStall("/f"); }, true, kReadFailed, ""},
  };
  for (const TransferCase& c : cases) {
    TestHttpServer server;
    c.serve(server);
    ProviderList providers;
    StepDriver driver(providers, RealSession(std::chrono::milliseconds(500)));
    if (c.text) {
      CTextTransfer transfer(driver, 0);
      transfer.SetUrl(server.Url("/f"));
      EXPECT_EQ(driver.Run(transfer), c.expected) << c.name;
      // A failed text keeps what arrived, except one too long: that is gone.
      EXPECT_EQ(transfer.GetText(), c.expected_content) << c.name;
    } else {
      CBinaryTransfer transfer(driver, 0);
      transfer.SetUrl(server.Url("/f"));
      EXPECT_EQ(driver.Run(transfer), c.expected) << c.name;
      int count = 0;
      const std::uint8_t* data = transfer.GetData(&count);
      if (c.expected == 0) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), count), c.expected_content)
            << c.name;
      }
    }
  }
}

TEST(FetchOverHttpTest, AFetchOfManySlowSitesKeepsTenInFlight) {
  TestHttpServer server;
  ProviderList providers = testing::MakeAuthorities();
  for (int a = 0; a < 4; ++a) {
    providers[static_cast<std::size_t>(a)]->m_strAddress =
        server.Url("/auth" + std::to_string(a) + "/");
    server.Serve("/auth" + std::to_string(a) + "/public.dat", ToText(SharedPublisher(a).record));
  }
  const int kSites = 23;
  for (int i = 0; i < kSites; ++i) {
    const std::string path = "/site" + std::to_string(i) + "/";
    const testing::Publisher& key = SharedPublisher(4 + i % 2);
    providers.push_back(testing::MakeProvider(server.Url(path), &key));
    const std::string text = testing::ControlText(i);
    const auto delay = std::chrono::milliseconds(10 + i % 5);
    server.ServeDelayed(path + "public.dat", ToText(key.record), delay);
    server.ServeSlowly(path + "control.txt", text, 64, std::chrono::milliseconds(2));
    server.ServeDelayed(path + "control.sig", ToText(key.Sign('1', text)), delay);
  }
  // One site has moved away, one lost its signature, one hangs up.
  server.Serve("/site3/public.dat", "Not here", 404);
  server.Serve("/site4/control.sig", "Not here", 404);
  server.ServeCut("/site5/control.txt", testing::ControlText(5), 20);
  for (auto& provider : providers)
    provider->m_timeNextCheck = testing::TestNow() - 60;

  std::atomic<int> peak{0};
  FetchEnvironment environment;
  environment.now = [] { return testing::TestNow(); };
  environment.open_session = [&](std::string* error) -> std::unique_ptr<AsyncHttpSession> {
    auto inner = OpenAsyncHttpSession(HttpOptions{}, error);
    if (inner == nullptr)
      return nullptr;
    return std::make_unique<CountingSession>(std::move(inner), &peak);
  };
  CUpdateFetcher fetcher(providers, environment);
  fetcher.RunFetch(-1);

  for (int i = 0; i < kSites; ++i) {
    const int expected = i == 3 ? 7 : i == 4 ? 9 : i == 5 ? kReadFailed : 0;
    EXPECT_EQ(providers[static_cast<std::size_t>(4 + i)]->m_nFetchStatus, expected) << "site " << i;
  }
  EXPECT_LE(peak.load(), 10);
  EXPECT_GE(peak.load(), 5);  // the slots really ran side by side
}

// Providers on one server share its connections: a slot that moves on to
// its next file or its next provider takes a connection that an earlier
// request left open rather than connecting anew. (The test server serves
// up to five requests on a connection.)
TEST(FetchOverHttpTest, ProvidersOnOneServerShareItsConnections) {
  TestHttpServer server;
  ProviderList providers = testing::MakeAuthorities();
  for (auto& authority : providers)
    authority->m_timeNextCheck = testing::TestNow() + 30 * kSecondsPerDay;
  const int kSites = 30;
  for (int i = 0; i < kSites; ++i) {
    const std::string path = "/site" + std::to_string(i) + "/";
    const testing::Publisher& key = SharedPublisher(4);
    providers.push_back(testing::MakeProvider(server.Url(path), &key));
    providers.back()->m_timeNextCheck = testing::TestNow() - 60;
    const std::string text = testing::ControlText(i);
    server.Serve(path + "public.dat", ToText(key.record));
    server.Serve(path + "control.txt", text);
    server.Serve(path + "control.sig", ToText(key.Sign('1', text)));
  }
  FetchEnvironment environment;
  environment.now = [] { return testing::TestNow(); };
  CUpdateFetcher fetcher(providers, environment);
  fetcher.RunFetch(-1);
  for (int i = 0; i < kSites; ++i)
    EXPECT_EQ(providers[static_cast<std::size_t>(4 + i)]->m_nFetchStatus, 0) << "site " << i;
  // 90 requests: 18 connections if each carried five, 90 if none was
  // reused; ten slots opening at once may each need one more.
  EXPECT_LE(server.ConnectionCount(), 18 + 10);
}

TEST(FetchOverHttpTest, CancelEndsAFetchStuckOnStalledServers) {
  TestHttpServer server;
  ProviderList providers = testing::MakeAuthorities();
  for (auto& authority : providers)
    authority->m_strAddress = server.Url("/auth/");
  server.Serve("/auth/public.dat", "none");
  for (int i = 0; i < 12; ++i) {
    providers.push_back(testing::MakeProvider(server.Url("/stall/"), nullptr));
  }
  server.ServeStall("/stall/public.dat");
  for (auto& provider : providers) {
    provider->m_timeNextCheck = testing::TestNow() - 60;
    provider->m_nFetchStatus = -1;
  }
  std::atomic<bool> cancelled{false};
  FetchEnvironment environment;
  environment.now = [] { return testing::TestNow(); };
  environment.is_cancelled = [&] { return cancelled.load(); };
  CUpdateFetcher fetcher(providers, environment);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancelled = true;
    fetcher.WakeForCancel();
  });
  const auto start = std::chrono::steady_clock::now();
  fetcher.RunFetch(-1);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Ten providers were started; the last two never were.
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(providers[static_cast<std::size_t>(4 + i)]->m_nFetchStatus, i < 10 ? 1 : -1) << i;
}

TEST(FetchOverHttpTest, AStreamOfNulBytesIsCutOffAtTheLimit) {
  // Every chunk is cut at its first NUL, so nothing is kept; the limit
  // still counts what arrived. The server would send 64 MiB and then stop.
  TestHttpServer server;
  server.ServeFilled("/nul", '\0', std::uint64_t{64} << 20);
  server.ServeFilled("/nul-at-limit", '\0', CTextTransfer::kMaxTextLength);
  ProviderList providers;
  StepDriver driver(providers, RealSession(std::chrono::milliseconds(2000)));
  CTextTransfer transfer(driver, 0);
  transfer.SetUrl(server.Url("/nul"));
  EXPECT_EQ(driver.Run(transfer), kReadFailed);
  EXPECT_EQ(transfer.GetText(), "");
  // Reading stopped soon after the limit (what the buffers held aside).
  EXPECT_LT(server.BytesSent("/nul"), std::uint64_t{16} << 20);

  transfer.SetUrl(server.Url("/nul-at-limit"));
  EXPECT_EQ(driver.Run(transfer), kStepFinished);
  EXPECT_EQ(transfer.GetText(), "");
}

TEST(FetchOverHttpTest, ARequestThatTricklesEndsAtItsDeadline) {
  // One byte every 100 ms: 10 s for the whole key record, never idle long
  // enough for the idle timeout. The deadline ends the request at 1 s.
  TestHttpServer server;
  ProviderList providers = testing::MakeAuthorities();
  for (auto& authority : providers)
    authority->m_nVerifyState = 3;
  providers.push_back(testing::MakeProvider(server.Url("/slow/"), nullptr));
  server.ServeSlowly("/slow/public.dat", std::string(100, 'k'), 1, std::chrono::milliseconds(100));
  providers.back()->m_nFetchStatus = -1;
  FetchEnvironment environment;
  environment.now = [] { return testing::TestNow(); };
  environment.open_session = [](std::string* error) {
    HttpOptions options;
    options.request_timeout = std::chrono::milliseconds(1000);
    return OpenAsyncHttpSession(options, error);
  };
  CUpdateFetcher fetcher(providers, environment);
  const auto start = std::chrono::steady_clock::now();
  fetcher.RunFetch(4);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(providers.back()->m_nFetchStatus, kReadFailed);
}

TEST(FetchOverHttpTest, CancelClosesRequestsThatServersNeverAnswer) {
  // Servers that accept the connection and then say nothing for a minute:
  // every open is still pending when the user cancels. The fetch must
  // return at once and close every request it opened.
  TestHttpServer server;
  ProviderList providers = testing::MakeAuthorities();
  for (auto& authority : providers)
    authority->m_nVerifyState = 3;
  for (int i = 0; i < 10; ++i)
    providers.push_back(testing::MakeProvider(server.Url("/silent/"), nullptr));
  server.ServeDelayed("/silent/public.dat", "never sent", std::chrono::seconds(60));
  for (auto& provider : providers)
    provider->m_timeNextCheck = testing::TestNow() - 60;

  std::atomic<int> peak{0};
  std::atomic<bool> cancelled{false};
  FetchEnvironment environment;
  environment.now = [] { return testing::TestNow(); };
  environment.is_cancelled = [&] { return cancelled.load(); };
  environment.open_session = [&](std::string* error) -> std::unique_ptr<AsyncHttpSession> {
    auto inner = OpenAsyncHttpSession(HttpOptions{}, error);
    if (inner == nullptr)
      return nullptr;
    return std::make_unique<CountingSession>(std::move(inner), &peak);
  };
  CountingSession::last_open = -1;
  CUpdateFetcher fetcher(providers, environment);
  std::thread canceller([&] {
    // Cancel once all ten requests reached the server.
    for (int i = 0; i < 500 && server.RequestCount("/silent/public.dat") < 10; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    cancelled = true;
    fetcher.WakeForCancel();
  });
  const auto start = std::chrono::steady_clock::now();
  fetcher.RunFetch(-1);
  const auto took = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_EQ(server.RequestCount("/silent/public.dat"), 10);
  EXPECT_EQ(peak.load(), 10);
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(CountingSession::last_open.load(), 0);
}

}  // namespace
}  // namespace gantrell
