#include "platform/http_sync_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/test_http_server.h"

namespace gantrell {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

HttpOptions ShortTimeouts() {
  HttpOptions options;
  options.connect_timeout = milliseconds(2000);
  options.idle_timeout = milliseconds(300);
  return options;
}

// Reads until the end of the body; false when a read fails.
bool ReadAll(HttpRequest& request, std::size_t chunk, std::string* body) {
  std::string buffer(chunk, '\0');
  for (;;) {
    std::size_t count = 0;
    if (!request.Read(buffer.data(), chunk, &count)) {
      return false;
    }
    if (count == 0) {
      return true;
    }
    body->append(buffer.data(), count);
  }
}

long ElapsedMs(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

class HttpSyncSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server_.port(), 0);
    std::string error;
    session_ = EngineHttpSession::Open(ShortTimeouts(), &error);
    ASSERT_NE(session_, nullptr) << error;
  }

  TestHttpServer server_;
  std::unique_ptr<EngineHttpSession> session_;
};

TEST_F(HttpSyncSessionTest, DeliversBodiesWhateverTheStatusAndReadSize) {
  server_.Serve("/ok.txt", "hello, world");
  server_.Serve("/empty", "");
  server_.Serve("/missing.sig", "<html>404 page</html>", 404);
  server_.Serve("/broken", "internal error", 500);
  server_.ServeGenerated("/big.dat", 300000);
  server_.Redirect("/moved", "/ok.txt");
  server_.Redirect("/moved-twice", "/moved", 301);
  struct Case {
    std::string path;
    std::size_t chunk;
    std::string expected;
  };
  const Case cases[] = {
      {"/ok.txt", 256, "hello, world"},
      {"/ok.txt", 1, "hello, world"},
      {"/empty", 256, ""},
      {"/missing.sig", 256, "<html>404 page</html>"},
      {"/broken", 3, "internal error"},
      {"/big.dat", 256, TestHttpServer::Pattern(300000)},
      {"/big.dat", 100000, TestHttpServer::Pattern(300000)},
      {"/moved", 256, "hello, world"},
      {"/moved-twice", 256, "hello, world"},
      {"/nothing-here", 256, "Not found"},
  };
  for (const Case& c : cases) {
    const std::string input = c.path + " in reads of " + std::to_string(c.chunk);
    std::string error;
    auto request = session_->OpenUrl(server_.Url(c.path), &error);
    ASSERT_NE(request, nullptr) << input << ": " << error;
    std::string body;
    EXPECT_TRUE(ReadAll(*request, c.chunk, &body)) << input;
    EXPECT_TRUE(body == c.expected) << input << ": got " << body.size() << " bytes";
  }
}

// A request for the rest of a file sends Range and If-Range, and the
// response tells its status, validator and where its bytes lie.
TEST_F(HttpSyncSessionTest, AsksForTheRestOfAFileAndReportsTheAnswer) {
  const std::string body = TestHttpServer::Pattern(5000);
  server_.Serve("/ranged", body);
  server_.AcceptRanges("/ranged", "\"abc\"");
  server_.Serve("/plain", body);
  struct Case {
    const char* what;
    std::string path;
    HttpRequestOptions request;
    int status;
    std::int64_t range_first, range_total, content_length;
    std::string etag, expected;
  } cases[] = {
      {"whole", "/ranged", {}, 200, -1, -1, 5000, "\"abc\"", body},
      {"the rest", "/ranged", {1200, "\"abc\""}, 206, 1200, 5000, 3800, "\"abc\"",
       body.substr(1200)},
      {"the rest, no If-Range", "/ranged", {4999, ""}, 206, 4999, 5000, 1, "\"abc\"",
       body.substr(4999)},
      {"another copy", "/ranged", {1200, "\"old\""}, 200, -1, -1, 5000, "\"abc\"", body},
      {"past the end", "/ranged", {5000, "\"abc\""}, 416, -1, 5000, 0, "\"abc\"", ""},
      {"ranges ignored", "/plain", {1200, "\"abc\""}, 200, -1, -1, 5000, "", body},
  };
  for (const Case& c : cases) {
    std::string error;
    auto request = session_->OpenUrl(server_.Url(c.path), c.request, &error);
    ASSERT_NE(request, nullptr) << c.what << ": " << error;
    const HttpResponseInfo response = request->Response();
    EXPECT_EQ(response.status, c.status) << c.what;
    EXPECT_EQ(response.range_first, c.range_first) << c.what;
    EXPECT_EQ(response.range_total, c.range_total) << c.what;
    EXPECT_EQ(response.content_length, c.content_length) << c.what;
    EXPECT_EQ(response.etag, c.etag) << c.what;
    std::string got;
    EXPECT_TRUE(ReadAll(*request, 1000, &got)) << c.what;
    EXPECT_TRUE(got == c.expected) << c.what << ": got " << got.size() << " bytes";
    const std::string range =
        c.request.range_start > 0 ? "bytes=" + std::to_string(c.request.range_start) + "-" : "";
    EXPECT_EQ(server_.LastHeader(c.path, "Range"), range) << c.what;
    EXPECT_EQ(server_.LastHeader(c.path, "If-Range"), c.request.if_range) << c.what;
  }
  // A validator must not smuggle a header line into the request.
  std::string error;
  EXPECT_EQ(session_->OpenUrl(server_.Url("/ranged"), {10, "\"a\"\r\nX-Evil: 1"}, &error),
            nullptr);
}

TEST_F(HttpSyncSessionTest, SendsTheConfiguredAgent) {
  HttpOptions options = ShortTimeouts();
  options.user_agent = "Agent Test 2.5";
  std::string error;
  auto session = EngineHttpSession::Open(options, &error);
  server_.Serve("/a", "x");
  auto request = session->OpenUrl(server_.Url("/a"), &error);
  ASSERT_NE(request, nullptr) << error;
  EXPECT_EQ(server_.LastHeader("/a", "User-Agent"), "Agent Test 2.5");
}

TEST_F(HttpSyncSessionTest, OpenFailsWithAMessage) {
  // A port that was free a moment ago refuses connections.
  int closed_port = 0;
  {
    TestHttpServer gone;
    closed_port = gone.port();
  }
  server_.ServeDelayed("/late", "too late", milliseconds(1500));
  const std::string cases[] = {
      "",
      "not an address",
      "ftp://127.0.0.1/file",
      "file:///etc/passwd",
      "http://127.0.0.1:" + std::to_string(closed_port) + "/x",
      server_.Url("/late"),  // no headers within the idle timeout
  };
  for (const std::string& input : cases) {
    std::string error;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(session_->OpenUrl(input, &error), nullptr) << input;
    EXPECT_FALSE(error.empty()) << input;
    EXPECT_LT(ElapsedMs(start), 1200) << input;
  }
}

TEST_F(HttpSyncSessionTest, ReadFailsWhenTheServerFallsSilent) {
  server_.ServeStall("/stall");
  std::string error;
  auto request = session_->OpenUrl(server_.Url("/stall"), &error);
  ASSERT_NE(request, nullptr) << error;
  char buffer[256];
  std::size_t count = 99;
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(request->Read(buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_GE(ElapsedMs(start), 250);
  EXPECT_LT(ElapsedMs(start), 1500);
}

TEST_F(HttpSyncSessionTest, ACutBodyDeliversWhatCameThenFails) {
  const std::string body = TestHttpServer::Pattern(5000);
  server_.ServeCut("/cut", body, 1200);
  std::string error;
  auto request = session_->OpenUrl(server_.Url("/cut"), &error);
  ASSERT_NE(request, nullptr) << error;
  std::string got;
  EXPECT_FALSE(ReadAll(*request, 256, &got));
  EXPECT_EQ(got, body.substr(0, 1200));
}

TEST_F(HttpSyncSessionTest, SlowBodyWithinTheIdleTimeoutArrivesWhole) {
  const std::string body = TestHttpServer::Pattern(2000);
  server_.ServeSlowly("/slow", body, 250, milliseconds(40));
  std::string error;
  auto request = session_->OpenUrl(server_.Url("/slow"), &error);
  ASSERT_NE(request, nullptr) << error;
  std::string got;
  EXPECT_TRUE(ReadAll(*request, 100, &got));
  EXPECT_EQ(got, body);
}

// A reader that stops reading for longer than the idle timeout pauses the
// transfer; it must neither time out nor buffer more than allowed.
TEST_F(HttpSyncSessionTest, AnIdleReaderPausesTheTransferWithinTheBufferLimit) {
  HttpOptions options = ShortTimeouts();
  options.max_buffered = 64 * 1024;
  std::string error;
  auto session = EngineHttpSession::Open(options, &error);
  const std::size_t size = 20 * 1024 * 1024;
  server_.ServeGenerated("/huge", size);
  auto request = session->OpenUrl(server_.Url("/huge"), &error);
  ASSERT_NE(request, nullptr) << error;
  std::this_thread::sleep_for(milliseconds(700));
  EXPECT_GT(session->stats().pauses, 0u);
  std::string buffer(4096, '\0');
  std::uint64_t offset = 0;
  bool intact = true;
  for (;;) {
    if (offset == size / 2) {
      std::this_thread::sleep_for(milliseconds(500));  // idle again midway
    }
    std::size_t count = 0;
    ASSERT_TRUE(request->Read(buffer.data(), std::min<std::size_t>(4096, size / 2), &count))
        << "at " << offset;
    if (count == 0) {
      break;
    }
    for (std::size_t i = 0; i < count && intact; ++i) {
      intact = buffer[i] == TestHttpServer::PatternByte(offset + i);
    }
    offset += count;
  }
  EXPECT_EQ(offset, size);
  EXPECT_TRUE(intact);
  EXPECT_LE(session->stats().peak_buffered, options.max_buffered);
}

TEST_F(HttpSyncSessionTest, CloseFromAnotherThreadWakesABlockedRead) {
  HttpOptions options = ShortTimeouts();
  options.idle_timeout = milliseconds(10000);
  std::string error;
  auto session = EngineHttpSession::Open(options, &error);
  server_.ServeStall("/stall");
  auto request = session->OpenUrl(server_.Url("/stall"), &error);
  ASSERT_NE(request, nullptr) << error;
  Clock::time_point closed_at;
  std::thread closer([&] {
    std::this_thread::sleep_for(milliseconds(150));
    closed_at = Clock::now();
    request->Close();
    request->Close();  // a second close does nothing
  });
  char buffer[256];
  std::size_t count = 0;
  EXPECT_FALSE(request->Read(buffer, sizeof buffer, &count));
  const Clock::time_point woke_at = Clock::now();
  closer.join();
  EXPECT_LT(std::chrono::duration_cast<milliseconds>(woke_at - closed_at).count(), 200);
  EXPECT_FALSE(request->Read(buffer, sizeof buffer, &count));
}

TEST_F(HttpSyncSessionTest, ARequestOutlivesItsSession) {
  server_.ServeSlowly("/slow", "abcdefgh", 2, milliseconds(20));
  std::string error;
  auto request = session_->OpenUrl(server_.Url("/slow"), &error);
  ASSERT_NE(request, nullptr) << error;
  session_.reset();
  std::string got;
  EXPECT_TRUE(ReadAll(*request, 256, &got));
  EXPECT_EQ(got, "abcdefgh");
}

TEST_F(HttpSyncSessionTest, ReusesConnectionsForRequestsInTurn) {
  server_.Serve("/a", "1");
  for (int i = 0; i < 5; ++i) {
    std::string error;
    auto request = session_->OpenUrl(server_.Url("/a"), &error);
    ASSERT_NE(request, nullptr) << error;
    std::string got;
    ASSERT_TRUE(ReadAll(*request, 16, &got));
  }
  EXPECT_EQ(server_.RequestCount("/a"), 5);
  EXPECT_EQ(server_.ConnectionCount(), 1);
}

// A download may take long as long as it moves: the request deadline is the
// asynchronous session's alone, and the speed floor ends only a transfer
// that really trickles, not one paused for a reader that stopped reading.
TEST_F(HttpSyncSessionTest, OnlyATransferBelowTheSpeedFloorFails) {
  HttpOptions options = ShortTimeouts();
  options.idle_timeout = milliseconds(10000);
  options.request_timeout = milliseconds(300);
  options.low_speed_limit = 1024;
  options.low_speed_time = std::chrono::seconds(1);
  options.max_buffered = 64 * 1024;
  std::string error;
  auto session = EngineHttpSession::Open(options, &error);
  ASSERT_NE(session, nullptr) << error;

  // 10 bytes every 100 ms: 30 s for the whole body without the floor.
  server_.ServeSlowly("/trickle", TestHttpServer::Pattern(3000), 10, milliseconds(100));
  const Clock::time_point start = Clock::now();
  auto trickle = session->OpenUrl(server_.Url("/trickle"), &error);
  ASSERT_NE(trickle, nullptr) << error;
  std::string got;
  EXPECT_FALSE(ReadAll(*trickle, 256, &got));
  EXPECT_LT(ElapsedMs(start), 6000);

  // About a second at 300 KB/s: well past the request deadline.
  const std::string steady_body = TestHttpServer::Pattern(300000);
  server_.ServeSlowly("/steady", steady_body, 30000, milliseconds(100));
  auto steady = session->OpenUrl(server_.Url("/steady"), &error);
  ASSERT_NE(steady, nullptr) << error;
  got.clear();
  EXPECT_TRUE(ReadAll(*steady, 4096, &got));
  EXPECT_EQ(got, steady_body);

  server_.ServeGenerated("/paused", 4 * 1024 * 1024);
  auto paused = session->OpenUrl(server_.Url("/paused"), &error);
  ASSERT_NE(paused, nullptr) << error;
  char first[4096];
  std::size_t count = 0;
  ASSERT_TRUE(paused->Read(first, sizeof first, &count));
  std::this_thread::sleep_for(milliseconds(2500));
  got.assign(first, count);
  EXPECT_TRUE(ReadAll(*paused, 65536, &got));
  EXPECT_EQ(got.size(), 4u * 1024 * 1024);
}

TEST_F(HttpSyncSessionTest, CloseAllEndsOpensAndReadsAndRefusesNewOnes) {
  HttpOptions options = ShortTimeouts();
  options.idle_timeout = milliseconds(60000);
  std::string error;
  auto session = EngineHttpSession::Open(options, &error);
  ASSERT_NE(session, nullptr) << error;
  server_.ServeStall("/stall");
  server_.ServeDelayed("/silent", "never", milliseconds(60000));
  server_.Serve("/ok", "fine");
  auto stalled = session->OpenUrl(server_.Url("/stall"), &error);
  ASSERT_NE(stalled, nullptr) << error;

  std::thread closer([&] {
    std::this_thread::sleep_for(milliseconds(200));
    session->CloseAll();
  });
  // Blocks until CloseAll: the server accepted the request and is silent.
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(session->OpenUrl(server_.Url("/silent"), &error), nullptr);
  EXPECT_LT(ElapsedMs(start), 3000);
  closer.join();
  char buffer[256];
  std::size_t count = 0;
  EXPECT_FALSE(stalled->Read(buffer, sizeof buffer, &count));
  EXPECT_EQ(session->OpenUrl(server_.Url("/ok"), &error), nullptr);
  EXPECT_EQ(server_.RequestCount("/ok"), 0);
  session->CloseAll();  // again: nothing more happens
}

}  // namespace
}  // namespace gantrell
