#include "platform/http_async_session.h"

#include <utility>

namespace gantrell {

std::unique_ptr<EngineAsyncHttpSession> EngineAsyncHttpSession::Open(const HttpOptions& options,
                                                                 std::string* error) {
  std::unique_ptr<EngineAsyncHttpSession> session(new EngineAsyncHttpSession());
  EngineAsyncHttpSession* raw = session.get();
  session->engine_ = HttpEngine::Start(
      options, [raw] { raw->OnEngineTurn(); }, error);
  if (session->engine_ == nullptr) {
    return nullptr;
  }
  return session;
}

EngineAsyncHttpSession::~EngineAsyncHttpSession() {
  if (engine_ == nullptr) {
    return;  // Open failed before the engine ran
  }
  SetStatusCallback(nullptr);
  // Stopping the engine ends every transfer; the session's own state is
  // released afterwards, when no engine turn can run any more.
  engine_.reset();
}

void EngineAsyncHttpSession::SetStatusCallback(HttpStatusCallback callback) {
  std::unique_lock<std::mutex> lock(callback_mutex_);
  callback_ = std::move(callback);
  if (!engine_->OnEngineThread()) {
    callback_done_.wait(lock, [this] { return !in_callback_; });
  }
}

HttpResult EngineAsyncHttpSession::OpenUrl(const std::string& url, std::uintptr_t context,
                                         HttpHandle* handle) {
  if (handle != nullptr) {
    *handle = 0;
  }
  std::string error;
  auto transfer = engine_->Open(url, &error);
  if (transfer == nullptr) {
    return HttpResult::kFailed;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Request& request = requests_[next_handle_++];
    request.context = context;
    request.transfer = std::move(transfer);
  }
  // The engine may have taken (and even ended) the transfer before the
  // request was listed; one more turn reports it.
  engine_->Wake();
  return HttpResult::kPending;
}

HttpResult EngineAsyncHttpSession::Read(HttpHandle handle, void* buffer, std::size_t capacity,
                                      std::size_t* bytes_read, std::uintptr_t context) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = requests_.find(handle);
  // One read at a time, into a real buffer.
  if (found == requests_.end() || found->second.read_pending || buffer == nullptr ||
      capacity == 0 || bytes_read == nullptr) {
    return HttpResult::kFailed;
  }
  Request& request = found->second;
  HttpTransfer& transfer = *request.transfer;
  *bytes_read = transfer.TryRead(buffer, capacity);
  if (*bytes_read > 0) {
    return HttpResult::kOk;
  }
  const TransferPhase phase = transfer.phase();
  if (phase == TransferPhase::kDone || phase == TransferPhase::kFailed) {
    // The last bytes may have arrived just before the phase changed.
    *bytes_read = transfer.TryRead(buffer, capacity);
    return *bytes_read > 0 || phase == TransferPhase::kDone ? HttpResult::kOk : HttpResult::kFailed;
  }
  request.read_pending = true;
  request.read_buffer = buffer;
  request.read_capacity = capacity;
  request.read_count = bytes_read;
  request.read_context = context;
  transfer.SetReaderWaiting(true);
  // The engine thread fills the read on its next turn at the latest; no
  // wake is needed because data, the end of the transfer or an idle
  // deadline all end its sleep.
  return HttpResult::kPending;
}

bool EngineAsyncHttpSession::Close(HttpHandle handle) {
  std::shared_ptr<HttpTransfer> transfer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = requests_.find(handle);
    if (found == requests_.end()) {
      return false;
    }
    transfer = std::move(found->second.transfer);
    closed_events_.push_back({handle, found->second.context, kHttpHandleClosing, 0});
    // Dropping the entry abandons a pending read: the engine thread fills
    // reads under mutex_ and will not find this one any more.
    requests_.erase(found);
  }
  transfer->Close();
  engine_->Cancel(transfer);  // also wakes the engine to report the closing
  return true;
}

HttpOutcome EngineAsyncHttpSession::Outcome(HttpHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = requests_.find(handle);
  if (found == requests_.end()) {
    return {};
  }
  const HttpTransfer& transfer = *found->second.transfer;
  HttpOutcome outcome;
  outcome.status = transfer.http_status();
  if (transfer.phase() == TransferPhase::kFailed) {
    outcome.failure = transfer.failure_kind() == HttpFailure::kNone ? HttpFailure::kOther
                                                                    : transfer.failure_kind();
    outcome.error = transfer.error();
  }
  return outcome;
}

bool EngineAsyncHttpSession::FinishPendingRead(HttpHandle handle, Request& request,
                                             std::vector<Event>* events) {
  HttpTransfer& transfer = *request.transfer;
  std::size_t count = transfer.TryRead(request.read_buffer, request.read_capacity);
  bool ok = true;
  if (count == 0) {
    const TransferPhase phase = transfer.phase();
    if (phase != TransferPhase::kDone && phase != TransferPhase::kFailed) {
      return false;
    }
    count = transfer.TryRead(request.read_buffer, request.read_capacity);
    ok = count > 0 || phase == TransferPhase::kDone;
  }
  *request.read_count = count;
  request.read_pending = false;
  transfer.SetReaderWaiting(false);
  events->push_back({handle, request.read_context, kHttpRequestComplete, ok ? 1u : 0u});
  return true;
}

void EngineAsyncHttpSession::OnEngineTurn() {
  std::vector<Event> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events.swap(closed_events_);
    for (auto& [handle, request] : requests_) {
      if (!request.created_reported) {
        request.created_reported = true;
        events.push_back({handle, request.context, kHttpHandleCreated, handle});
      }
      if (!request.open_reported) {
        const HttpTransfer& transfer = *request.transfer;
        if (transfer.response_started()) {
          request.open_reported = true;
          events.push_back({handle, request.context, kHttpRequestComplete, 1});
        } else if (transfer.phase() == TransferPhase::kFailed) {
          request.open_reported = true;
          events.push_back({handle, request.context, kHttpRequestComplete, 0});
        }
      }
      if (request.read_pending) {
        FinishPendingRead(handle, request, &events);
      }
    }
  }
  Report(events);
}

void EngineAsyncHttpSession::Report(const std::vector<Event>& events) {
  for (const Event& event : events) {
    HttpStatusCallback callback;
    {
      std::lock_guard<std::mutex> lock(callback_mutex_);
      if (!callback_) {
        continue;
      }
      callback = callback_;
      in_callback_ = true;
    }
    callback(event.handle, event.context, event.status, event.result);
    {
      std::lock_guard<std::mutex> lock(callback_mutex_);
      in_callback_ = false;
    }
    callback_done_.notify_all();
  }
}

std::unique_ptr<AsyncHttpSession> OpenAsyncHttpSession(const HttpOptions& options,
                                                       std::string* error) {
  return EngineAsyncHttpSession::Open(options, error);
}

}  // namespace gantrell
