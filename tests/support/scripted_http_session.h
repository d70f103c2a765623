// An in-process AsyncHttpSession serving a map of URLs. Notices arrive from
// the session's own thread after a set delay, as from a real network, so
// races between steps and notices happen for real. Unknown URLs serve a
// "404" page body, as an HTTP server would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"

namespace gantrell::testing {

struct ScriptedFile {
  std::string body;
  // The open completes with failure (no server, refused).
  bool refuse = false;
  // After this many body bytes the connection drops: the read fails.
  std::size_t drop_after = static_cast<std::size_t>(-1);
  // The open never completes (a server that accepts and then says nothing).
  bool stall = false;
};

// What sessions did, kept beyond their life for the test to inspect.
class ScriptedLog {
 public:
  int peak_open() const;
  std::vector<std::string> opened_urls() const;
  int sessions_opened() const;

 private:
  friend class ScriptedHttpSession;
  mutable std::mutex mutex_;
  int peak_open_ = 0;
  int sessions_ = 0;
  std::vector<std::string> opened_;
};

class ScriptedHttpSession : public AsyncHttpSession {
 public:
  // Serves `files` (URL -> file). Every open and every read that has to
  // wait completes `delay` later; reads of at most `chunk` bytes.
  ScriptedHttpSession(std::map<std::string, ScriptedFile> files, std::chrono::milliseconds delay,
                      std::shared_ptr<ScriptedLog> log, std::size_t chunk = 512);
  ~ScriptedHttpSession() override;

  void SetStatusCallback(HttpStatusCallback callback) override;
  HttpResult OpenUrl(const std::string& url, std::uintptr_t context, HttpHandle* handle) override;
  HttpResult Read(HttpHandle handle, void* buffer, std::size_t capacity, std::size_t* bytes_read,
                  std::uintptr_t context) override;
  bool Close(HttpHandle handle) override;

 private:
  struct Request {
    std::string url;
    std::uintptr_t context = 0;
    std::size_t position = 0;
    bool ready = false;  // the open completed
  };
  struct Event {
    std::chrono::steady_clock::time_point due;
    HttpHandle handle = 0;
    std::uintptr_t context = 0;
    int status = 0;
    std::uint64_t result = 0;
    // A pending read to fill before the notice.
    void* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t* bytes_read = nullptr;
  };

  void Run();
  // Fills a read from the request's body; false when the connection drops.
  bool FillRead(Request& request, void* buffer, std::size_t capacity, std::size_t* bytes_read);

  const std::map<std::string, ScriptedFile> files_;
  const std::chrono::milliseconds delay_;
  const std::size_t chunk_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::condition_variable idle_;
  bool delivering_ = false;
  bool stopping_ = false;
  HttpStatusCallback callback_;
  std::map<HttpHandle, Request> requests_;
  std::deque<Event> events_;
  HttpHandle next_handle_ = 1;
  std::shared_ptr<ScriptedLog> log_;
  std::thread thread_;
};

}  // namespace gantrell::testing
