#include "platform/http_transfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace gantrell {

std::int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

HttpTransfer::HttpTransfer(std::string url, std::size_t capacity, std::function<void()> wake_engine,
                           HttpRequestOptions request)
    : url_(std::move(url)),
      request_(std::move(request)),
      capacity_(capacity),
      // Resuming only once half the buffer is free keeps the engine from
      // being woken for every small read of a slow reader.
      resume_threshold_(std::max<std::size_t>(capacity / 2, 1)),
      wake_engine_(std::move(wake_engine)),
      ring_(new char[capacity]) {}

std::size_t HttpTransfer::TryRead(void* buffer, std::size_t size) {
  const std::uint64_t read = read_pos_.load(std::memory_order_relaxed);
  const std::uint64_t written = write_pos_.load(std::memory_order_acquire);
  const std::size_t count = std::min<std::uint64_t>(written - read, size);
  if (count == 0) {
    return 0;
  }
  const std::size_t offset = read % capacity_;
  const std::size_t first = std::min(count, capacity_ - offset);
  std::memcpy(buffer, ring_.get() + offset, first);
  std::memcpy(static_cast<char*>(buffer) + first, ring_.get(), count - first);
  // Sequentially consistent so that this store and the producer's store to
  // paused_ cannot both go unseen: either the producer sees the room it
  // needs, or we see that it paused.
  read_pos_.store(read + count, std::memory_order_seq_cst);
  if (paused_.load(std::memory_order_seq_cst) &&
      capacity_ - (written - read - count) >= resume_threshold_ &&
      !resume_requested_.exchange(true, std::memory_order_acq_rel)) {
    wake_engine_();
  }
  return count;
}

std::size_t HttpTransfer::buffered() const {
  return write_pos_.load(std::memory_order_acquire) - read_pos_.load(std::memory_order_acquire);
}

bool HttpTransfer::HasData() const {
  return write_pos_.load(std::memory_order_seq_cst) != read_pos_.load(std::memory_order_relaxed);
}

HttpTransfer::AppendResult HttpTransfer::Append(const char* data, std::size_t size) {
  if (size > capacity_) {
    return AppendResult::kTooLarge;
  }
  const std::uint64_t written = write_pos_.load(std::memory_order_relaxed);
  if (capacity_ - (written - read_pos_.load(std::memory_order_acquire)) < size) {
    // Announce the pause, then look again: a reader that drained the buffer
    // meanwhile may not have seen the flag and would never ask for a resume.
    paused_.store(true, std::memory_order_seq_cst);
    if (capacity_ - (written - read_pos_.load(std::memory_order_seq_cst)) < size) {
      return AppendResult::kFull;
    }
    paused_.store(false, std::memory_order_seq_cst);
  }
  const std::size_t offset = written % capacity_;
  const std::size_t first = std::min(size, capacity_ - offset);
  std::memcpy(ring_.get() + offset, data, first);
  std::memcpy(ring_.get(), data + first, size - first);
  write_pos_.store(written + size, std::memory_order_seq_cst);
  return AppendResult::kStored;
}

void HttpTransfer::NotifyReaderIfWaiting() {
  if (!reader_waiting_.load(std::memory_order_seq_cst) || !HasData()) {
    return;
  }
  // Taking the mutex orders this notification after a reader that has set
  // reader_waiting_ but not yet gone to sleep.
  std::lock_guard<std::mutex> lock(mutex_);
  wake_reader_.notify_all();
}

void HttpTransfer::MarkStarted() {
  if (started_.load(std::memory_order_relaxed)) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  started_.store(true, std::memory_order_release);
  phase_.store(TransferPhase::kStarted, std::memory_order_release);
  wake_reader_.notify_all();
}

void HttpTransfer::Finish(bool ok, const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ok) {
    error_ = error;
  }
  phase_.store(ok ? TransferPhase::kDone : TransferPhase::kFailed, std::memory_order_release);
  wake_reader_.notify_all();
}

void HttpTransfer::SetResponse(const HttpResponseInfo& response) {
  std::lock_guard<std::mutex> lock(mutex_);
  response_ = response;
}

HttpResponseInfo HttpTransfer::response() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return response_;
}

std::string HttpTransfer::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

bool HttpTransfer::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_.exchange(true, std::memory_order_acq_rel)) {
    return false;
  }
  wake_reader_.notify_all();
  return true;
}

void HttpTransfer::SetReaderWaiting(bool waiting) {
  waiting_since_.store(waiting ? SteadyNanos() : 0, std::memory_order_release);
  reader_waiting_.store(waiting, std::memory_order_seq_cst);
}

bool HttpTransfer::ReaderCanProceed(bool want_data) const {
  const TransferPhase now = phase();
  if (closed() || now == TransferPhase::kDone || now == TransferPhase::kFailed) {
    return true;
  }
  return want_data ? HasData() : now != TransferPhase::kOpening;
}

void HttpTransfer::WaitForResponse() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_reader_.wait(lock, [this] { return ReaderCanProceed(false); });
}

void HttpTransfer::WaitForData() {
  std::unique_lock<std::mutex> lock(mutex_);
  SetReaderWaiting(true);
  wake_reader_.wait(lock, [this] { return ReaderCanProceed(true); });
  SetReaderWaiting(false);
}

}  // namespace gantrell
