#include "platform/http_async_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "support/test_http_server.h"

namespace gantrell {
namespace {

using std::chrono::milliseconds;

struct Event {
  HttpHandle handle;
  std::uintptr_t context;
  int status;
  std::uint64_t result;
  std::size_t bytes_at_callback;  // the watched read count when the event came
};

// Records every callback and lets the test wait for the one it expects.
class Recorder {
 public:
  HttpStatusCallback Callback() {
    return [this](HttpHandle handle, std::uintptr_t context, int status, std::uint64_t result) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::this_thread::get_id() == test_thread_) {
        ++on_test_thread_;
      }
      events_.push_back({handle, context, status, result, watched_ ? *watched_ : 0});
      changed_.notify_all();
    };
  }

  // Waits for an event with `status` and `context`; false after 3 s.
  bool WaitFor(int status, std::uintptr_t context, Event* found) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(3), [&] {
      used_.resize(events_.size());
      for (std::size_t i = 0; i < events_.size(); ++i) {
        if (!used_[i] && events_[i].status == status && events_[i].context == context) {
          *found = events_[i];
          used_[i] = true;
          return true;
        }
      }
      return false;
    });
  }

  void Watch(const std::size_t* count) {
    std::lock_guard<std::mutex> lock(mutex_);
    watched_ = count;
  }
  std::vector<Event> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  int on_test_thread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return on_test_thread_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  std::vector<bool> used_;  // events already handed to WaitFor
  const std::size_t* watched_ = nullptr;
  int on_test_thread_ = 0;
  const std::thread::id test_thread_ = std::this_thread::get_id();
};

class HttpAsyncSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server_.port(), 0);
    HttpOptions options;
    options.connect_timeout = milliseconds(2000);
    // Long enough for a first answer from a server under a sanitizer on a
    // busy machine, well inside the recorder's 3 s wait.
    options.idle_timeout = milliseconds(1000);
    std::string error;
    session_ = EngineAsyncHttpSession::Open(options, &error);
    ASSERT_NE(session_, nullptr) << error;
    session_->SetStatusCallback(recorder_.Callback());
  }

  // Opens `path`; the handle once the open completed (result in *ok).
  HttpHandle Open(const std::string& path, std::uintptr_t context, bool* ok) {
    HttpHandle handle = 99;
    EXPECT_EQ(session_->OpenUrl(server_.Url(path), context, &handle), HttpResult::kPending);
    Event created{}, complete{};
    EXPECT_TRUE(recorder_.WaitFor(kHttpHandleCreated, context, &created)) << path;
    EXPECT_TRUE(recorder_.WaitFor(kHttpRequestComplete, context, &complete)) << path;
    EXPECT_EQ(complete.handle, created.result) << path;
    *ok = complete.result == 1;
    return created.handle;
  }

  // Reads the whole body with reads of `chunk` bytes; false when one fails.
  bool ReadAll(HttpHandle handle, std::uintptr_t context, std::size_t chunk, std::string* body) {
    std::string buffer(chunk, '\0');
    for (;;) {
      std::size_t count = 0;
      HttpResult result = session_->Read(handle, buffer.data(), chunk, &count, context);
      if (result == HttpResult::kPending) {
        Event done{};
        if (!recorder_.WaitFor(kHttpRequestComplete, context, &done) || done.result != 1) {
          return false;
        }
      } else if (result == HttpResult::kFailed) {
        return false;
      }
      if (count == 0) {
        return true;
      }
      body->append(buffer.data(), count);
    }
  }

  TestHttpServer server_;
  Recorder recorder_;
  std::unique_ptr<EngineAsyncHttpSession> session_;
};

TEST_F(HttpAsyncSessionTest, OpensReadsAndClosesInOrder) {
  struct Case {
    std::string path;
    std::string expected;
  };
  server_.Serve("/control.txt", "provider text");
  server_.Serve("/license.sig", "error page", 404);
  server_.ServeSlowly("/slow", TestHttpServer::Pattern(3000), 700, milliseconds(30));
  server_.Redirect("/old", "/control.txt");
  const Case cases[] = {{"/control.txt", "provider text"},
                        {"/license.sig", "error page"},
                        {"/slow", TestHttpServer::Pattern(3000)},
                        {"/old", "provider text"}};
  std::uintptr_t context = 10;
  for (const Case& c : cases) {
    const std::string input = c.path;
    bool opened = false;
    const HttpHandle handle = Open(c.path, context, &opened);
    ASSERT_TRUE(opened) << input;
    std::string body;
    EXPECT_TRUE(ReadAll(handle, context, 512, &body)) << input;
    EXPECT_EQ(body, c.expected) << input;
    EXPECT_TRUE(session_->Close(handle)) << input;
    EXPECT_FALSE(session_->Close(handle)) << input;
    Event closing{};
    EXPECT_TRUE(recorder_.WaitFor(kHttpHandleClosing, context, &closing)) << input;
    EXPECT_EQ(closing.handle, handle) << input;
    ++context;
  }
  // Handles are never reused, and no callback ran inside a call.
  std::vector<HttpHandle> created;
  for (const Event& event : recorder_.events()) {
    if (event.status == kHttpHandleCreated) {
      created.push_back(event.handle);
    }
  }
  ASSERT_EQ(created.size(), 4u);
  for (std::size_t i = 1; i < created.size(); ++i) {
    EXPECT_GT(created[i], created[i - 1]);
  }
  EXPECT_EQ(recorder_.on_test_thread(), 0);
}

TEST_F(HttpAsyncSessionTest, FailuresAreReportedAsFailures) {
  HttpHandle handle = 0;
  EXPECT_EQ(session_->OpenUrl("no address", 10, &handle), HttpResult::kFailed);
  EXPECT_EQ(handle, 0u);

  int closed_port = 0;
  {
    TestHttpServer gone;
    closed_port = gone.port();
  }
  EXPECT_EQ(
      session_->OpenUrl("http://127.0.0.1:" + std::to_string(closed_port) + "/x", 11, &handle),
      HttpResult::kPending);
  Event created{}, complete{};
  ASSERT_TRUE(recorder_.WaitFor(kHttpHandleCreated, 11, &created));
  ASSERT_TRUE(recorder_.WaitFor(kHttpRequestComplete, 11, &complete));
  EXPECT_EQ(complete.result, 0u);
  char buffer[16];
  std::size_t count = 0;
  EXPECT_EQ(session_->Read(created.handle, buffer, sizeof buffer, &count, 11), HttpResult::kFailed);
  EXPECT_EQ(session_->Read(12345, buffer, sizeof buffer, &count, 11), HttpResult::kFailed);
  EXPECT_FALSE(session_->Close(12345));
}

TEST_F(HttpAsyncSessionTest, APendingReadIsFilledBeforeItsCompletion) {
  server_.ServeSlowly("/slow", "0123456789", 5, milliseconds(100));
  bool opened = false;
  const HttpHandle handle = Open("/slow", 10, &opened);
  ASSERT_TRUE(opened);
  char buffer[64] = {};
  std::size_t count = 0;
  recorder_.Watch(&count);
  ASSERT_EQ(session_->Read(handle, buffer, sizeof buffer, &count, 77), HttpResult::kPending);
  Event done{};
  ASSERT_TRUE(recorder_.WaitFor(kHttpRequestComplete, 77, &done));
  EXPECT_EQ(done.result, 1u);
  EXPECT_EQ(done.bytes_at_callback, 5u);
  EXPECT_EQ(std::string(buffer, count), "01234");
  recorder_.Watch(nullptr);
}

TEST_F(HttpAsyncSessionTest, ASilentServerFailsAPendingRead) {
  server_.ServeStall("/stall");
  bool opened = false;
  const HttpHandle handle = Open("/stall", 10, &opened);
  ASSERT_TRUE(opened);
  char buffer[64];
  std::size_t count = 0;
  ASSERT_EQ(session_->Read(handle, buffer, sizeof buffer, &count, 20), HttpResult::kPending);
  Event done{};
  ASSERT_TRUE(recorder_.WaitFor(kHttpRequestComplete, 20, &done));
  EXPECT_EQ(done.result, 0u);
  EXPECT_EQ(session_->Read(handle, buffer, sizeof buffer, &count, 20), HttpResult::kFailed);
}

TEST_F(HttpAsyncSessionTest, CloseAbandonsAPendingRead) {
  server_.ServeStall("/stall");
  bool opened = false;
  const HttpHandle handle = Open("/stall", 10, &opened);
  ASSERT_TRUE(opened);
  auto buffer = std::make_unique<char[]>(64);
  std::size_t count = 0;
  ASSERT_EQ(session_->Read(handle, buffer.get(), 64, &count, 20), HttpResult::kPending);
  EXPECT_TRUE(session_->Close(handle));
  buffer.reset();  // the session must not touch it any more (ASan checks)
  server_.ReleaseStalls();
  Event closing{};
  EXPECT_TRUE(recorder_.WaitFor(kHttpHandleClosing, 10, &closing));
  std::this_thread::sleep_for(milliseconds(1200));  // past the idle timeout
  for (const Event& event : recorder_.events()) {
    EXPECT_NE(event.context, 20u) << "status " << event.status;
  }
}

TEST_F(HttpAsyncSessionTest, ManyConcurrentTransfers) {
  constexpr int kCount = 12;
  for (int i = 0; i < kCount; ++i) {
    // Bodies that take 0.4 to 0.8 s, so that every transfer is still under
    // way when the last one starts even where starting a thread is slow
    // (Wine), and no connection is free to be reused.
    server_.ServeSlowly("/f" + std::to_string(i), TestHttpServer::Pattern(1000 + i * 100), 100,
                        milliseconds(40));
  }
  for (int i = 0; i < kCount; ++i) {
    HttpHandle ignored = 0;
    ASSERT_EQ(session_->OpenUrl(server_.Url("/f" + std::to_string(i)), 10 + i, &ignored),
              HttpResult::kPending);
  }
  std::vector<HttpHandle> handles;
  for (int i = 0; i < kCount; ++i) {
    Event created{}, complete{};
    ASSERT_TRUE(recorder_.WaitFor(kHttpHandleCreated, 10 + i, &created)) << i;
    ASSERT_TRUE(recorder_.WaitFor(kHttpRequestComplete, 10 + i, &complete)) << i;
    ASSERT_EQ(complete.handle, created.handle) << i;
    handles.push_back(created.handle);
  }
  // All were in flight at once, each on a connection of its own.
  EXPECT_EQ(server_.ConnectionCount(), kCount);
  for (int i = 0; i < kCount; ++i) {
    std::string body;
    EXPECT_TRUE(ReadAll(handles[i], 10 + i, 256, &body)) << i;
    EXPECT_EQ(body, TestHttpServer::Pattern(1000 + i * 100)) << i;
  }
}

TEST_F(HttpAsyncSessionTest, NoCallbackAfterReplacementOrDestruction) {
  server_.ServeSlowly("/slow", TestHttpServer::Pattern(400), 10, milliseconds(5));
  std::atomic<bool> replaced{false};
  std::atomic<int> late_calls{0};
  session_->SetStatusCallback([&](HttpHandle, std::uintptr_t, int, std::uint64_t) {
    if (replaced) {
      ++late_calls;
    }
    std::this_thread::sleep_for(milliseconds(2));  // widen the window for a race
  });
  for (int i = 0; i < 4; ++i) {
    HttpHandle ignored = 0;
    session_->OpenUrl(server_.Url("/slow"), 10 + i, &ignored);
  }
  std::this_thread::sleep_for(milliseconds(30));
  std::atomic<bool> destroyed{false};
  std::atomic<int> after_destruction{0};
  session_->SetStatusCallback([&](HttpHandle, std::uintptr_t, int, std::uint64_t) {
    if (destroyed) {
      ++after_destruction;
    }
  });
  replaced = true;
  std::this_thread::sleep_for(milliseconds(30));
  session_.reset();
  destroyed = true;
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(late_calls, 0);
  EXPECT_EQ(after_destruction, 0);
}

}  // namespace
}  // namespace gantrell
