// What the WinINet engine does itself rather than leave to WinINet: the
// failure reasons, the reasons a certificate is refused, ranges and their
// headers, and the count of redirects.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_async_session.h"
#include "platform/http_sync_session.h"
#include "support/test_http_server.h"

namespace gantrell {
namespace {

using std::chrono::milliseconds;

HttpOptions ShortTimeouts() {
  HttpOptions options;
  options.connect_timeout = milliseconds(2000);
  options.idle_timeout = milliseconds(300);
  return options;
}

std::string Body(HttpRequest& request) {
  std::string body;
  char buffer[512];
  for (std::size_t count = 0; request.Read(buffer, sizeof buffer, &count) && count > 0;)
    body.append(buffer, count);
  return body;
}

TEST(WinInetCertificateProblemTest, NamesTheReasonOfEachCode) {
  const struct {
    long code;
    std::string reason;
  } cases[] = {
      {12037, "it has expired or is not valid yet"},  // ERROR_INTERNET_SEC_CERT_DATE_INVALID
      {12045, "its issuer is unknown (no trusted certificate authority signed it)"},
      {12038, "it was issued for another server name"},  // ..._SEC_CERT_CN_INVALID
      {12170, "it has been revoked"},
      {12057, "whether it was revoked could not be checked"},
      {12055, "it could not be verified (some words)"},  // ..._SEC_CERT_ERRORS
  };
  for (const auto& c : cases)
    EXPECT_EQ(CertificateProblem(c.code, "some words"), c.reason) << c.code;
}

// The asynchronous session's outcome carries the reason the console shows.
TEST(WinInetFailureTest, AFailedOpenSaysWhy) {
  int closed_port = 0;
  {
    TestHttpServer gone;
    closed_port = gone.port();
  }
  TestHttpServer server;
  server.ServeDelayed("/silent", "late", milliseconds(3000));
  const struct {
    std::string url;
    HttpFailure failure;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(closed_port) + "/x", HttpFailure::kRefused},
      {"http://no-such-host.invalid/x", HttpFailure::kHostNotFound},
      {server.Url("/silent"), HttpFailure::kTimedOut},
  };
  std::string error;
  auto session = EngineAsyncHttpSession::Open(ShortTimeouts(), &error);
  ASSERT_NE(session, nullptr) << error;
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::uintptr_t, std::uint64_t> completions;
  std::map<std::uintptr_t, HttpHandle> handles;
  session->SetStatusCallback(
      [&](HttpHandle handle, std::uintptr_t context, int status, std::uint64_t result) {
        std::lock_guard<std::mutex> lock(mutex);
        if (status == kHttpHandleCreated)
          handles[context] = handle;
        else if (status == kHttpRequestComplete)
          completions[context] = result;
        changed.notify_all();
      });
  std::uintptr_t context = 1;
  for (const auto& c : cases) {
    HttpHandle handle = 0;
    ASSERT_EQ(session->OpenUrl(c.url, context, &handle), HttpResult::kPending) << c.url;
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5),
                                 [&] { return completions.count(context) > 0; }))
        << c.url;
    EXPECT_EQ(completions[context], 0u) << c.url;
    const HttpHandle created = handles[context];
    lock.unlock();
    const HttpOutcome outcome = session->Outcome(created);
    EXPECT_EQ(outcome.failure, c.failure) << c.url << ": " << outcome.error;
    EXPECT_NE(outcome.error.find(c.url), std::string::npos) << outcome.error;
    EXPECT_TRUE(session->Close(created)) << c.url;
    ++context;
  }
}

// The update lists' deadline holds for a body that keeps arriving.
TEST(WinInetFailureTest, ARequestPastItsDeadlineFails) {
  TestHttpServer server;
  server.ServeSlowly("/slow", TestHttpServer::Pattern(2000), 100, milliseconds(100));
  HttpOptions options = ShortTimeouts();
  options.request_timeout = milliseconds(500);
  std::string error;
  auto session = EngineAsyncHttpSession::Open(options, &error);
  ASSERT_NE(session, nullptr) << error;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint64_t> completions;
  HttpHandle handle = 0;
  session->SetStatusCallback([&](HttpHandle created, std::uintptr_t, int status, std::uint64_t result) {
    std::lock_guard<std::mutex> lock(mutex);
    if (status == kHttpHandleCreated)
      handle = created;
    else if (status == kHttpRequestComplete)
      completions.push_back(result);
    changed.notify_all();
  });
  // Waits for the next completion; its result.
  auto next_completion = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_TRUE(
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return !completions.empty(); }));
    const std::uint64_t result = completions.empty() ? 0 : completions.front();
    if (!completions.empty())
      completions.erase(completions.begin());
    return result;
  };
  HttpHandle ignored = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(session->OpenUrl(server.Url("/slow"), 1, &ignored), HttpResult::kPending);
  ASSERT_EQ(next_completion(), 1u);
  char buffer[4096];
  std::size_t total = 0;
  for (;;) {
    std::size_t count = 0;
    const HttpResult result = session->Read(handle, buffer, sizeof buffer, &count, 1);
    if (result == HttpResult::kFailed || (result == HttpResult::kPending && next_completion() == 0))
      break;
    ASSERT_GT(count, 0u) << "the body cannot be whole yet";
    total += count;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
  EXPECT_LT(total, 2000u);
  const HttpOutcome outcome = session->Outcome(handle);
  EXPECT_EQ(outcome.failure, HttpFailure::kTimedOut) << outcome.error;
  EXPECT_NE(outcome.error.find("did not complete within 500 ms"), std::string::npos) << outcome.error;
}

TEST(WinInetRangeTest, AsksForTheRestAndReadsTheAnswer) {
  TestHttpServer server;
  server.Serve("/file", "0123456789");
  server.AcceptRanges("/file", "\"v1\"");
  std::string error;
  auto session = EngineHttpSession::Open(ShortTimeouts(), &error);
  ASSERT_NE(session, nullptr) << error;
  const struct {
    std::uint64_t from;
    int status;
    std::string body;
    std::int64_t first;
    std::int64_t total;
  } cases[] = {
      {0, 200, "0123456789", -1, -1},
      {4, 206, "456789", 4, 10},
      {10, 416, "", -1, 10},
  };
  for (const auto& c : cases) {
    HttpRequestOptions request;
    request.range_start = c.from;
    request.if_range = c.from > 0 ? "\"v1\"" : "";
    auto opened = session->OpenUrl(server.Url("/file"), request, &error);
    ASSERT_NE(opened, nullptr) << c.from << ": " << error;
    const HttpResponseInfo response = opened->Response();
    EXPECT_EQ(response.status, c.status) << c.from;
    EXPECT_EQ(response.range_first, c.first) << c.from;
    EXPECT_EQ(response.range_total, c.total) << c.from;
    EXPECT_EQ(response.content_length, static_cast<std::int64_t>(c.body.size())) << c.from;
    EXPECT_EQ(Body(*opened), c.body) << c.from;
    EXPECT_EQ(server.LastHeader("/file", "Range"),
              c.from > 0 ? "bytes=" + std::to_string(c.from) + "-" : "")
        << c.from;
    EXPECT_EQ(server.LastHeader("/file", "If-Range"), c.from > 0 ? "\"v1\"" : "") << c.from;
  }
  HttpRequestOptions broken;
  broken.range_start = 1;
  broken.if_range = "\"v1\"\r\nX-Other: 1";
  EXPECT_EQ(session->OpenUrl(server.Url("/file"), broken, &error), nullptr);
}

TEST(WinInetRedirectTest, FollowsAChainButNotForEver) {
  TestHttpServer server;
  server.Serve("/end", "arrived");
  for (int i = 0; i < 25; ++i)
    server.Redirect("/r" + std::to_string(i), i == 24 ? "/end" : "/r" + std::to_string(i + 1),
                    i % 2 == 0 ? 302 : 301);
  std::string error;
  auto session = EngineHttpSession::Open(ShortTimeouts(), &error);
  ASSERT_NE(session, nullptr) << error;
  auto near = session->OpenUrl(server.Url("/r20"), &error);
  ASSERT_NE(near, nullptr) << error;
  EXPECT_EQ(near->Response().status, 200);
  EXPECT_EQ(Body(*near), "arrived");
  EXPECT_EQ(session->OpenUrl(server.Url("/r0"), &error), nullptr);
  EXPECT_NE(error.find("redirected it too many times"), std::string::npos) << error;
}

}  // namespace
}  // namespace gantrell
