// The asynchronous HTTP session on a network engine. Calls never block on the
// network; results arrive through the status callback, which runs on the
// session's engine thread only.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/http_engine.h"

namespace gantrell {

class EngineAsyncHttpSession : public AsyncHttpSession {
 public:
  // nullptr with a message in *error when the session cannot be set up.
  static std::unique_ptr<EngineAsyncHttpSession> Open(const HttpOptions& options, std::string* error);

  // Must not be called from inside the status callback.
  ~EngineAsyncHttpSession() override;

  // Waits for a callback in progress on another thread to return, so the
  // old callback never runs once this returns. Called from inside the
  // callback it does not wait (the running call is the caller's own).
  void SetStatusCallback(HttpStatusCallback callback) override;
  HttpResult OpenUrl(const std::string& url, std::uintptr_t context, HttpHandle* handle) override;
  HttpResult Read(HttpHandle handle, void* buffer, std::size_t capacity, std::size_t* bytes_read,
                  std::uintptr_t context) override;
  bool Close(HttpHandle handle) override;
  HttpOutcome Outcome(HttpHandle handle) override;

  HttpEngineStats stats() const { return engine_->stats(); }

 private:
  struct Request {
    std::uintptr_t context = 0;
    std::shared_ptr<HttpTransfer> transfer;
    bool created_reported = false;
    bool open_reported = false;
    // A read that found nothing buffered and waits for the engine thread.
    bool read_pending = false;
    void* read_buffer = nullptr;
    std::size_t read_capacity = 0;
    std::size_t* read_count = nullptr;
    std::uintptr_t read_context = 0;
  };
  struct Event {
    HttpHandle handle;
    std::uintptr_t context;
    int status;
    std::uint64_t result;
  };

  EngineAsyncHttpSession() = default;

  // Engine thread: turns progress into events, then reports them.
  void OnEngineTurn();
  // Fills a pending read; false when nothing can be said yet. Needs mutex_.
  bool FinishPendingRead(HttpHandle handle, Request& request, std::vector<Event>* events);
  void Report(const std::vector<Event>& events);

  std::mutex mutex_;  // guards requests_, closed_events_ and next_handle_
  std::map<HttpHandle, Request> requests_;
  std::vector<Event> closed_events_;
  HttpHandle next_handle_ = 1;

  std::mutex callback_mutex_;  // guards callback_ and in_callback_
  std::condition_variable callback_done_;
  HttpStatusCallback callback_;
  bool in_callback_ = false;

  std::shared_ptr<HttpEngine> engine_;
};

}  // namespace gantrell
