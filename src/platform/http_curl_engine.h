// The one place libcurl is used: a thread that drives every transfer of a
// session through one multi handle.
//
// The thread sleeps in curl_multi_poll until a socket is ready, a deadline
// passes or another thread wakes it (a new request, a close, a reader that
// made room in a paused transfer). Callers never touch curl handles: they
// queue work and wake the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"
#include "platform/http_engine.h"
#include "platform/http_transfer.h"

namespace gantrell {

class CurlEngine : public HttpEngine {
 public:
  // `on_turn` runs on the engine thread after every round of network work,
  // outside any lock of the engine and outside every libcurl call, so it
  // may call Open, Cancel and Wake.
  static std::shared_ptr<CurlEngine> Start(const HttpOptions& options,
                                           std::function<void()> on_turn, std::string* error);

  // Stops the thread and frees every transfer still in progress; their
  // readers see them fail. Must not run on the engine thread.
  ~CurlEngine() override;

  CurlEngine(const CurlEngine&) = delete;
  CurlEngine& operator=(const CurlEngine&) = delete;

  // Checks `url` (an http or https address) and queues its GET. nullptr and
  // a message in *error when the address is not accepted.
  using HttpEngine::Open;
  // The same with a range and an If-Range validator.
  std::shared_ptr<HttpTransfer> Open(const std::string& url, const HttpRequestOptions& request,
                                     std::string* error) override;

  // Queues the removal of `transfer` from the network; a transfer that has
  // already ended is simply forgotten. Any thread.
  void Cancel(const std::shared_ptr<HttpTransfer>& transfer) override;

  // Interrupts the engine's sleep. Any thread.
  void Wake() override;

  bool OnEngineThread() const override { return std::this_thread::get_id() == thread_.get_id(); }

  HttpEngineStats stats() const override;

  // Libcurl callbacks reach the engine through this; not for other use.
  struct Active;

 private:
  CurlEngine(const HttpOptions& options, std::function<void()> on_turn, void* multi);

  void Run();
  void TakeCommands();
  void StartTransfer(const std::shared_ptr<HttpTransfer>& transfer);
  void ResumeTransfers();
  void CollectFinished();
  // Fails transfers whose reader waited too long; returns how long the
  // engine may sleep before the next deadline.
  int CheckIdleDeadlines();
  void End(Active* active, bool ok, const std::string& error);
  void Remove(Active* active);

  // The libcurl write callback.
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user);

  const HttpOptions options_;
  const std::function<void()> on_turn_;
  void* const multi_;  // CURLM*, used by the engine thread only (and curl_multi_wakeup)

  std::mutex mutex_;  // guards the command queues and stopping_
  std::vector<std::shared_ptr<HttpTransfer>> to_start_;
  std::vector<std::shared_ptr<HttpTransfer>> to_cancel_;
  bool stopping_ = false;

  // Engine thread only.
  std::vector<std::unique_ptr<Active>> active_;

  std::atomic<std::uint64_t> pauses_{0};
  std::atomic<std::size_t> peak_buffered_{0};

  std::thread thread_;
};

}  // namespace gantrell
