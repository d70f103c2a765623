// The state of one HTTP GET shared between the engine thread that receives
// it and the one reader that consumes it.
//
// Body bytes pass through a fixed ring buffer with one producer (the engine
// thread) and one consumer at a time (the reader, or the engine thread when
// it fills an asynchronous read the reader left pending). Moving bytes takes
// no lock; the mutex and condition variable are used only when the reader
// has to wait, and the producer touches them only when a reader is waiting.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/http.h"

namespace gantrell {

enum class TransferPhase {
  kOpening,  // waiting for the response headers
  kStarted,  // the body is arriving
  kDone,     // the whole body is in the buffer
  kFailed    // error() says why; bytes still buffered may be read first
};

class HttpTransfer {
 public:
  // `capacity` bytes are buffered at most. `wake_engine` is called from the
  // reader's thread when a paused transfer has room again.
  HttpTransfer(std::string url, std::size_t capacity, std::function<void()> wake_engine,
               HttpRequestOptions request = {});

  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  const std::string& url() const { return url_; }
  const HttpRequestOptions& request() const { return request_; }
  std::size_t capacity() const { return capacity_; }

  // --- Reader side (any thread, one at a time) ---

  // Copies up to `size` buffered bytes out at once; 0 when none is buffered.
  std::size_t TryRead(void* buffer, std::size_t size);

  TransferPhase phase() const { return phase_.load(std::memory_order_acquire); }
  // True once the final response's headers are in (stays true on failure).
  bool response_started() const { return started_.load(std::memory_order_acquire); }
  // Why the transfer failed; only meaningful once phase() is kFailed.
  std::string error() const;
  // The final response's status and headers; complete once
  // response_started() is true.
  HttpResponseInfo response() const;

  // Marks the transfer closed and wakes a waiting reader. Returns true for
  // the first call only. Removing it from the engine is the caller's job.
  bool Close();
  bool closed() const { return closed_.load(std::memory_order_acquire); }

  // Blocks until the headers are in, the transfer ends or it is closed.
  void WaitForResponse();
  // Blocks until bytes are buffered, the transfer ends or it is closed.
  void WaitForData();

  // Tells the engine whether a reader is waiting for bytes; only then does
  // a silent server count towards the idle timeout. WaitForData sets it
  // itself; an asynchronous read left pending sets it by hand.
  void SetReaderWaiting(bool waiting);
  // Steady-clock nanoseconds since the reader began waiting, 0 when it is not.
  std::int64_t reader_waiting_since() const {
    return waiting_since_.load(std::memory_order_acquire);
  }

  // --- Engine side (the engine thread only) ---

  enum class AppendResult { kStored, kFull, kTooLarge };
  // Stores all `size` bytes or none. kFull marks the transfer paused: the
  // reader asks for a resume once it has drained enough.
  AppendResult Append(const char* data, std::size_t size);
  // True once per resume request from the reader.
  bool TakeResumeRequest() { return resume_requested_.exchange(false, std::memory_order_acq_rel); }
  void ClearPaused() { paused_.store(false, std::memory_order_seq_cst); }
  std::size_t buffered() const;
  // Wakes a reader waiting for bytes once some are buffered. The engine
  // calls this once per round rather than per chunk, so a fast reader is
  // woken once for everything that arrived in the round.
  void NotifyReaderIfWaiting();

  void MarkStarted();
  // Records the final response's headers; called before MarkStarted.
  void SetResponse(const HttpResponseInfo& response);
  // The final response's status, and the kind of a failure; read by the
  // reader side at any time.
  void SetHttpStatus(int status) { http_status_.store(status, std::memory_order_release); }
  int http_status() const { return http_status_.load(std::memory_order_acquire); }
  void SetFailureKind(HttpFailure kind) { failure_kind_.store(kind, std::memory_order_release); }
  HttpFailure failure_kind() const { return failure_kind_.load(std::memory_order_acquire); }
  // Moves to kDone or kFailed (with a message) and wakes the reader.
  void Finish(bool ok, const std::string& error);

 private:
  bool HasData() const;
  bool ReaderCanProceed(bool want_data) const;

  const std::string url_;
  const HttpRequestOptions request_;
  const std::size_t capacity_;
  const std::size_t resume_threshold_;
  const std::function<void()> wake_engine_;
  std::unique_ptr<char[]> ring_;

  // Positions count every byte ever written or read; the ring index is the
  // position modulo the capacity.
  alignas(64) std::atomic<std::uint64_t> write_pos_{0};
  alignas(64) std::atomic<std::uint64_t> read_pos_{0};

  std::atomic<bool> paused_{false};
  std::atomic<bool> resume_requested_{false};
  std::atomic<TransferPhase> phase_{TransferPhase::kOpening};
  std::atomic<bool> started_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> reader_waiting_{false};
  std::atomic<std::int64_t> waiting_since_{0};
  std::atomic<int> http_status_{0};
  std::atomic<HttpFailure> failure_kind_{HttpFailure::kNone};

  mutable std::mutex mutex_;
  std::condition_variable wake_reader_;
  std::string error_;           // guarded by mutex_
  HttpResponseInfo response_;  // guarded by mutex_
};

// Steady-clock nanoseconds, the time base of the engine's deadlines.
std::int64_t SteadyNanos();

}  // namespace gantrell
