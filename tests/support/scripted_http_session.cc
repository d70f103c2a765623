#include "support/scripted_http_session.h"

#include <algorithm>
#include <cstring>

namespace gantrell::testing {
namespace {

const std::string kNotFoundPage = "<html><body><h1>404 Not Found</h1></body></html>";

}  // namespace

ScriptedHttpSession::ScriptedHttpSession(std::map<std::string, ScriptedFile> files,
                                         std::chrono::milliseconds delay,
                                         std::shared_ptr<ScriptedLog> log, std::size_t chunk)
    : files_(std::move(files)),
      delay_(delay),
      chunk_(chunk),
      log_(log ? std::move(log) : std::make_shared<ScriptedLog>()),
      thread_([this] { Run(); }) {
  std::lock_guard<std::mutex> lock(log_->mutex_);
  ++log_->sessions_;
}

ScriptedHttpSession::~ScriptedHttpSession() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ScriptedHttpSession::SetStatusCallback(HttpStatusCallback callback) {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !delivering_; });
  callback_ = std::move(callback);
}

HttpResult ScriptedHttpSession::OpenUrl(const std::string& url, std::uintptr_t context,
                                        HttpHandle* /*handle*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (url.rfind("http://", 0) != 0)
    return HttpResult::kFailed;
  const HttpHandle handle = next_handle_++;
  requests_[handle] = Request{url, context, 0, false};
  {
    std::lock_guard<std::mutex> log_lock(log_->mutex_);
    log_->opened_.push_back(url);
    log_->peak_open_ = std::max(log_->peak_open_, static_cast<int>(requests_.size()));
  }
  const auto file = files_.find(url);
  const bool refuse = file != files_.end() && file->second.refuse;
  const bool stall = file != files_.end() && file->second.stall;
  const auto now = std::chrono::steady_clock::now();
  auto add = [this](Event event) {
    auto at = std::upper_bound(events_.begin(), events_.end(), event,
                               [](const Event& a, const Event& b) { return a.due < b.due; });
    events_.insert(at, event);
  };
  add(Event{now, handle, context, kHttpHandleCreated, handle});
  if (!stall)
    add(Event{now + delay_, handle, context, kHttpRequestComplete, refuse ? 0u : 1u});
  changed_.notify_all();
  return HttpResult::kPending;
}

bool ScriptedHttpSession::FillRead(Request& request, void* buffer, std::size_t capacity,
                                   std::size_t* bytes_read) {
  const auto file = files_.find(request.url);
  const std::string& body = file != files_.end() ? file->second.body : kNotFoundPage;
  const std::size_t drop = file != files_.end() ? file->second.drop_after : body.size() + 1;
  if (request.position >= drop)
    return false;
  std::size_t count =
      std::min({capacity, chunk_, body.size() - request.position, drop - request.position});
  std::memcpy(buffer, body.data() + request.position, count);
  request.position += count;
  *bytes_read = count;
  return true;
}

HttpResult ScriptedHttpSession::Read(HttpHandle handle, void* buffer, std::size_t capacity,
                                     std::size_t* bytes_read, std::uintptr_t context) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = requests_.find(handle);
  if (found == requests_.end())
    return HttpResult::kFailed;
  Request& request = found->second;
  // The first read waits for the body to start, as over a network; later
  // reads find data already there.
  if (request.ready)
    return FillRead(request, buffer, capacity, bytes_read) ? HttpResult::kOk : HttpResult::kFailed;
  request.ready = true;
  Event event{std::chrono::steady_clock::now() + delay_, handle, context, kHttpRequestComplete, 1};
  event.buffer = buffer;
  event.capacity = capacity;
  event.bytes_read = bytes_read;
  events_.push_back(event);
  std::stable_sort(events_.begin(), events_.end(),
                   [](const Event& a, const Event& b) { return a.due < b.due; });
  changed_.notify_all();
  return HttpResult::kPending;
}

bool ScriptedHttpSession::Close(HttpHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = requests_.find(handle);
  if (found == requests_.end())
    return false;
  const std::uintptr_t context = found->second.context;
  requests_.erase(found);
  // A pending read of a closed request is abandoned: its buffer is not
  // touched again and no completion follows.
  events_.erase(std::remove_if(events_.begin(), events_.end(),
                               [handle](const Event& e) { return e.handle == handle; }),
                events_.end());
  events_.push_front(
      Event{std::chrono::steady_clock::now(), handle, context, kHttpHandleClosing, 0});
  changed_.notify_all();
  return true;
}

void ScriptedHttpSession::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_)
      return;
    if (events_.empty()) {
      changed_.wait(lock);
      continue;
    }
    if (events_.front().due > std::chrono::steady_clock::now()) {
      changed_.wait_until(lock, events_.front().due);
      continue;
    }
    Event event = events_.front();
    events_.pop_front();
    if (event.buffer != nullptr) {
      auto found = requests_.find(event.handle);
      if (found == requests_.end())
        continue;
      event.result = FillRead(found->second, event.buffer, event.capacity, event.bytes_read);
    }
    HttpStatusCallback callback = callback_;
    if (!callback)
      continue;
    delivering_ = true;
    lock.unlock();
    callback(event.handle, event.context, event.status, event.result);
    lock.lock();
    delivering_ = false;
    idle_.notify_all();
  }
}

int ScriptedLog::peak_open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peak_open_;
}

std::vector<std::string> ScriptedLog::opened_urls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

int ScriptedLog::sessions_opened() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

}  // namespace gantrell::testing
