// What the HTTP sessions need from a network backend: a thread that drives
// every transfer of a session and fills each transfer's buffer for its
// reader. Callers never touch the backend's handles: they queue work and
// wake the engine. libcurl serves it on Linux, WinINet on Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/http.h"
#include "platform/http_transfer.h"

namespace gantrell {

// Figures kept for tests and benchmarks.
struct HttpEngineStats {
  std::uint64_t pauses = 0;       // times a transfer was paused for lack of room
  std::size_t peak_buffered = 0;  // most body bytes one transfer held at once
};

class HttpEngine {
 public:
  // `on_turn` runs on the engine thread after every round of network work,
  // outside any lock of the engine and outside every call into the network
  // library, so it may call Open, Cancel and Wake. nullptr with a message
  // in *error when the engine cannot be set up.
  static std::shared_ptr<HttpEngine> Start(const HttpOptions& options,
                                           std::function<void()> on_turn, std::string* error);

  // Stops the thread and ends every transfer still in progress; their
  // readers see them fail. Must not run on the engine thread.
  virtual ~HttpEngine() = default;

  // Checks `url` (an http or https address) and queues its GET. nullptr and
  // a message in *error when the address is not accepted.
  std::shared_ptr<HttpTransfer> Open(const std::string& url, std::string* error) {
    return Open(url, HttpRequestOptions{}, error);
  }
  // The same with a range and an If-Range validator.
  virtual std::shared_ptr<HttpTransfer> Open(const std::string& url,
                                             const HttpRequestOptions& request,
                                             std::string* error) = 0;

  // Queues the removal of `transfer` from the network; a transfer that has
  // already ended is simply forgotten. Any thread.
  virtual void Cancel(const std::shared_ptr<HttpTransfer>& transfer) = 0;

  // Interrupts the engine's sleep. Any thread.
  virtual void Wake() = 0;

  virtual bool OnEngineThread() const = 0;

  virtual HttpEngineStats stats() const = 0;
};

}  // namespace gantrell
