// The network engine on WinINet, the internet API of Windows.
//
// WinINet is used synchronously, one worker thread per transfer, with a
// supervising engine thread; not in its asynchronous mode
// (INTERNET_FLAG_ASYNC). Tried under Wine 8, the asynchronous mode honours
// no receive timeout (a pending read on a silent server waits until the
// server hangs up), InternetCloseHandle does not end a pending read (the
// read stays in flight with the caller's buffer, and neither its
// completion nor the handle-closing notice comes while the server is
// silent), and a body cut short of its Content-Length ends as if it were
// whole. The blocking calls behave the same way, but on a worker thread of
// our own they cost nothing more: the reader waits on the transfer's
// buffer, never inside WinINet, so a close wakes it at once; the engine
// thread enforces the connect, idle, overall and speed-floor deadlines
// itself; and the worker reads only into a buffer of its own. A worker
// that WinINet keeps blocked after its transfer was given up lingers until
// the server answers or hangs up (or, on Windows, until WinINet's receive
// timeout), holding nothing but its own state and the session's internet
// handle.
//
// Redirects are followed here rather than by WinINet, so that an https
// address that redirects to plain http is refused before anything is sent
// there, and so that every hop is counted.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/http_engine.h"
#include "platform/http_response_headers.h"

namespace gantrell {
namespace {

constexpr int kMostRedirects = 20;
constexpr std::size_t kSmallestPiece = 16 * 1024;
constexpr std::size_t kLargestPiece = 512 * 1024;
// While nothing has a deadline the engine still looks at the clock once an
// hour; nothing is polled.
constexpr std::int64_t kLongestSleepNs = std::int64_t{3600} * 1000 * 1000 * 1000;

std::int64_t Nanos(std::chrono::milliseconds value) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(value).count();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != prefix[i])
      return false;
  }
  return true;
}

bool IsHttps(const std::string& url) { return StartsWithNoCase(url, "https://"); }

// Accepts absolute http and https addresses with a host only.
bool CheckUrl(const std::string& url, std::string* error) {
  bool ok = (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://")) &&
            url.find_first_of(" \t\r\n") == std::string::npos;
  if (ok) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    ok = InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) &&
         (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) &&
         host[0] != '\0';
  }
  if (!ok)
    *error = "Not a valid web address: \"" + url + "\"";
  return ok;
}

HttpFailure FailureKind(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_CANNOT_CONNECT:
      return HttpFailure::kRefused;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return HttpFailure::kHostNotFound;
    case ERROR_INTERNET_TIMEOUT:
      return HttpFailure::kTimedOut;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return HttpFailure::kCertificate;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
      return HttpFailure::kTls;
    default:
      return HttpFailure::kOther;
  }
}

// WinINet's own words for `code`, or its number when it has none.
std::string ErrorText(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "could not connect to the server";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "the server's name could not be resolved";
    case ERROR_INTERNET_TIMEOUT:
      return "the operation timed out";
    case ERROR_INTERNET_CONNECTION_RESET:
      return "the connection was reset";
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return "the connection was aborted";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return "the secure connection could not be made";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "the server's response could not be read";
    default:
      break;
  }
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleA("wininet.dll"), code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words;
  if (length > 0 && text != nullptr)
    words.assign(text, length);
  if (text != nullptr)
    LocalFree(text);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ' ||
                            words.back() == '.'))
    words.pop_back();
  return words.empty() ? "WinINet error " + std::to_string(code) : words;
}

// A header of the response on `request`; empty when absent.
std::string QueryHeader(HINTERNET request, DWORD which) {
  std::string value(256, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(value.size());
    DWORD index = 0;
    if (HttpQueryInfoA(request, which, value.data(), &size, &index)) {
      value.resize(size);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
      const std::size_t first = value.find_first_not_of(" \t");
      return first == std::string::npos ? std::string() : value.substr(first);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return {};
    value.assign(size + 1, '\0');
  }
  return {};
}

int QueryStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      &index))
    return 0;
  return static_cast<int>(status);
}

// `location` taken relative to `base`; empty when it does not combine.
std::string Combine(const std::string& base, const std::string& location) {
  std::string combined(INTERNET_MAX_URL_LENGTH + 1, '\0');
  DWORD size = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlA(base.c_str(), location.c_str(), combined.data(), &size,
                           ICU_NO_ENCODE))
    return {};
  combined.resize(size);
  return combined;
}

// A one-shot signal that a thread sleeps on until it is set or a time passes.
class Signal {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
    cv_.notify_all();
  }
  // Waits until set (and clears it) or until `deadline_ns` (steady clock).
  void WaitUntil(std::int64_t deadline_ns) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::int64_t now = SteadyNanos();
    if (!set_ && deadline_ns > now)
      cv_.wait_for(lock, std::chrono::nanoseconds(deadline_ns - now), [this] { return set_; });
    set_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

// The session's internet handle, closed once the engine and every worker
// that still uses it are gone.
struct Root {
  HINTERNET internet = nullptr;
  ~Root() {
    if (internet != nullptr)
      InternetCloseHandle(internet);
  }
};

// Figures of every transfer of one engine, kept by the workers.
struct Counters {
  std::atomic<std::uint64_t> pauses{0};
  std::atomic<std::size_t> peak_buffered{0};
};

// One transfer's state shared by its worker thread and the engine thread.
struct Worker {
  std::shared_ptr<HttpTransfer> transfer;
  std::shared_ptr<Signal> engine_signal;  // wakes the engine thread
  std::shared_ptr<Signal> resume;         // wakes the worker when its reader made room
  std::shared_ptr<Counters> counters;
  const std::int64_t opened_at = SteadyNanos();

  std::atomic<bool> connected{false};  // a connection is up; the idle clock runs from here
  std::atomic<bool> paused{false};     // waiting for the reader to make room
  std::atomic<std::int64_t> last_activity{SteadyNanos()};
  std::atomic<std::uint64_t> received{0};  // body bytes, for the speed floor

  // Engine thread only: the speed floor's current window.
  std::int64_t window_start = SteadyNanos();
  std::uint64_t window_bytes = 0;

  std::mutex mutex;    // guards ended; held while appending
  bool ended = false;  // Finish was called; nothing more is stored

  // Ends the transfer once: the first of the worker and the engine wins.
  bool End(bool ok, HttpFailure kind, const std::string& error) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (ended)
        return false;
      ended = true;
      if (!ok)
        transfer->SetFailureKind(kind);
      transfer->Finish(ok, error);
    }
    resume->Set();  // a paused worker sees the end at once
    engine_signal->Set();
    return true;
  }
  bool Ended() {
    std::lock_guard<std::mutex> lock(mutex);
    return ended;
  }
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  if (context == 0)
    return;
  auto* worker = reinterpret_cast<Worker*>(context);
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      worker->connected.store(true);
      worker->last_activity.store(SteadyNanos());
      // The engine now watches the idle clock instead of the connect one.
      worker->engine_signal->Set();
      break;
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      worker->last_activity.store(SteadyNanos());
      break;
    default:
      break;
  }
}

// Closes a request handle when it goes out of scope.
struct RequestHandle {
  HINTERNET handle = nullptr;
  RequestHandle() = default;
  RequestHandle(const RequestHandle&) = delete;
  RequestHandle& operator=(const RequestHandle&) = delete;
  ~RequestHandle() { Reset(nullptr); }
  void Reset(HINTERNET next) {
    if (handle != nullptr)
      InternetCloseHandle(handle);
    handle = next;
  }
};

// The worker thread's part: the request, its redirects and its body.
//
// Only the worker touches its request handle, and it closes it itself:
// WinINet hands out the numbers of closed handles again, so a handle that
// the engine thread closed under a worker's feet could name another
// transfer's request by the worker's next call. A transfer that the engine
// ended therefore keeps its connection until the worker's blocking call
// returns (at WinINet's receive timeout, set to the idle timeout, or when
// the server answers or hangs up); its reader does not wait for that.
void RunWorker(const std::shared_ptr<Worker>& worker, const std::shared_ptr<Root>& root,
               std::size_t piece_size) {
  HttpTransfer& transfer = *worker->transfer;
  const std::string prefix = "Cannot read " + transfer.url() + ": ";
  const bool from_https = IsHttps(transfer.url());
  const HttpRequestOptions& options = transfer.request();
  std::string headers;
  if (options.range_start > 0) {
    headers = "Range: bytes=" + std::to_string(options.range_start) + "-\r\n";
    if (!options.if_range.empty())
      headers += "If-Range: " + options.if_range + "\r\n";
  }
  std::string url = transfer.url();
  RequestHandle owned;
  HINTERNET request = nullptr;
  for (int hop = 0;; ++hop) {
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_KEEP_CONNECTION;
    if (IsHttps(url))
      flags |= INTERNET_FLAG_SECURE;
    request = InternetOpenUrlA(root->internet, url.c_str(),
                               headers.empty() ? nullptr : headers.c_str(),
                               headers.empty() ? 0 : static_cast<DWORD>(headers.size()), flags,
                               reinterpret_cast<DWORD_PTR>(worker.get()));
    owned.Reset(request);
    if (request == nullptr) {
      const DWORD code = GetLastError();
      const HttpFailure kind = FailureKind(code);
      std::string detail = ErrorText(code);
      if (kind == HttpFailure::kCertificate)
        detail = "the server's certificate is not trusted: " + CertificateProblem(code, detail);
      worker->End(false, kind, prefix + detail);
      return;
    }
    if (worker->Ended())
      return;
    worker->connected.store(true);
    worker->last_activity.store(SteadyNanos());
    const int status = QueryStatus(request);
    const std::string location =
        status >= 300 && status < 400 ? QueryHeader(request, HTTP_QUERY_LOCATION) : std::string();
    if (location.empty())
      break;
    // A redirect to follow: this response is not the one the reader wants.
    const std::string next = Combine(url, location);
    owned.Reset(nullptr);
    request = nullptr;
    std::string ignored;
    if (next.empty() || !CheckUrl(next, &ignored)) {
      worker->End(false, HttpFailure::kOther,
                  prefix + "the server redirected it to an address that cannot be read");
      return;
    }
    if (from_https && !IsHttps(next)) {
      worker->End(false, HttpFailure::kInsecureRedirect,
                  prefix +
                      "the server redirected it to an address that is not https, which is refused");
      return;
    }
    if (hop + 1 >= kMostRedirects) {
      worker->End(false, HttpFailure::kOther, prefix + "the server redirected it too many times");
      return;
    }
    url = next;
  }

  HttpResponseInfo response;
  response.status = QueryStatus(request);
  response.etag = QueryHeader(request, HTTP_QUERY_ETAG);
  response.last_modified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
  response.content_length = HttpWholeNumber(QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH));
  ReadContentRange(QueryHeader(request, HTTP_QUERY_CONTENT_RANGE), &response);
  // WinINet ends a body cut short of its announced length as if it were
  // whole; the count tells. A compressed or chunked body has no such count.
  const std::string encoding = QueryHeader(request, HTTP_QUERY_TRANSFER_ENCODING);
  const std::int64_t expected = encoding.empty() ? response.content_length : -1;
  {
    std::lock_guard<std::mutex> lock(worker->mutex);
    if (worker->ended)
      return;
    transfer.SetResponse(response);
    transfer.SetHttpStatus(response.status);
    transfer.MarkStarted();
  }
  worker->engine_signal->Set();

  std::vector<char> piece(piece_size);
  std::uint64_t total = 0;
  for (;;) {
    // A blocking read waits until its whole buffer is full; asking what
    // has arrived first hands every piece on as it comes.
    DWORD available = 0;
    if (worker->Ended())
      return;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
      const DWORD code = GetLastError();
      worker->End(false, FailureKind(code), prefix + ErrorText(code));
      return;
    }
    DWORD count = 0;
    if (worker->Ended())
      return;
    const DWORD wanted = static_cast<DWORD>(
        std::clamp<std::size_t>(available, 1, piece.size()));
    if (!InternetReadFile(request, piece.data(), wanted, &count)) {
      const DWORD code = GetLastError();
      worker->End(false, FailureKind(code), prefix + ErrorText(code));
      return;
    }
    worker->last_activity.store(SteadyNanos());
    if (count == 0) {
      if (expected >= 0 && total < static_cast<std::uint64_t>(expected)) {
        worker->End(false, HttpFailure::kOther,
                    prefix + "the connection closed after " + std::to_string(total) + " of " +
                        std::to_string(expected) + " bytes");
      } else {
        worker->End(true, HttpFailure::kNone, "");
      }
      return;
    }
    total += count;
    worker->received.fetch_add(count);
    for (;;) {
      HttpTransfer::AppendResult stored;
      {
        std::lock_guard<std::mutex> lock(worker->mutex);
        if (worker->ended)
          return;
        stored = transfer.Append(piece.data(), count);
        if (stored == HttpTransfer::AppendResult::kFull)
          worker->paused.store(true);
      }
      if (stored == HttpTransfer::AppendResult::kStored) {
        const std::size_t buffered = transfer.buffered();
        if (buffered > worker->counters->peak_buffered.load())
          worker->counters->peak_buffered.store(buffered);
        break;
      }
      if (stored == HttpTransfer::AppendResult::kTooLarge) {
        worker->End(false, HttpFailure::kOther, prefix + "a piece did not fit the buffer");
        return;
      }
      // Full: sleep until the reader has drained half the buffer (its
      // wake-up comes through the transfer) or the transfer ends.
      worker->counters->pauses.fetch_add(1);
      while (!transfer.TakeResumeRequest()) {
        {
          std::lock_guard<std::mutex> lock(worker->mutex);
          if (worker->ended)
            return;
        }
        worker->resume->WaitUntil(SteadyNanos() + kLongestSleepNs);
      }
      transfer.ClearPaused();
      worker->last_activity.store(SteadyNanos());
      worker->paused.store(false);
    }
    worker->engine_signal->Set();
  }
}

class WinInetEngine : public HttpEngine {
 public:
  static std::shared_ptr<WinInetEngine> Start(const HttpOptions& options,
                                              std::function<void()> on_turn, std::string* error) {
    auto root = std::make_shared<Root>();
    // The system's proxy settings, as every program on the machine uses.
    root->internet = InternetOpenA(options.user_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                   nullptr, nullptr, 0);
    if (root->internet == nullptr) {
      *error = "Could not create an HTTP session: " + ErrorText(GetLastError());
      return nullptr;
    }
    // WinINet's own timeouts bound how long a worker that was given up
    // stays blocked where WinINet honours them; the engine enforces them
    // in any case.
    DWORD connect_ms = static_cast<DWORD>(
        std::clamp<std::int64_t>(options.connect_timeout.count(), 1, 0x7fffffff));
    DWORD idle_ms = static_cast<DWORD>(
        std::clamp<std::int64_t>(options.idle_timeout.count(), 1, 0x7fffffff));
    InternetSetOptionA(root->internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms,
                       sizeof connect_ms);
    InternetSetOptionA(root->internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &idle_ms, sizeof idle_ms);
    InternetSetOptionA(root->internet, INTERNET_OPTION_SEND_TIMEOUT, &idle_ms, sizeof idle_ms);
    // Ten lists are fetched at once, each on a connection of its own.
    // The limit is the process's (WinINet takes it on no handle).
    DWORD connections = 32;
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                       sizeof connections);
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                       sizeof connections);
    InternetSetStatusCallbackA(root->internet, &OnStatus);
    std::shared_ptr<WinInetEngine> engine(
        new WinInetEngine(options, std::move(on_turn), std::move(root)));
    engine->thread_ = std::thread([raw = engine.get()] { raw->Run(); });
    return engine;
  }

  ~WinInetEngine() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    signal_->Set();
    thread_.join();
  }

  using HttpEngine::Open;
  std::shared_ptr<HttpTransfer> Open(const std::string& url, const HttpRequestOptions& request,
                                     std::string* error) override {
    if (!CheckUrl(url, error))
      return nullptr;
    // A header value must not carry a line break into the request.
    if (request.if_range.find_first_of("\r\n") != std::string::npos) {
      *error = "Not a valid If-Range value";
      return nullptr;
    }
    const std::size_t capacity = std::max<std::size_t>(options_.max_buffered, 2 * kSmallestPiece);
    auto resume = std::make_shared<Signal>();
    auto engine_signal = signal_;
    auto transfer = std::make_shared<HttpTransfer>(
        url, capacity,
        [resume, engine_signal] {
          resume->Set();
          engine_signal->Set();
        },
        request);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      to_start_.push_back({transfer, resume});
    }
    signal_->Set();
    return transfer;
  }

  void Cancel(const std::shared_ptr<HttpTransfer>& transfer) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      to_cancel_.push_back(transfer);
    }
    signal_->Set();
  }

  void Wake() override { signal_->Set(); }

  bool OnEngineThread() const override { return std::this_thread::get_id() == thread_.get_id(); }

  HttpEngineStats stats() const override {
    HttpEngineStats stats;
    stats.pauses = counters_->pauses.load();
    stats.peak_buffered = counters_->peak_buffered.load();
    return stats;
  }

 private:
  struct Queued {
    std::shared_ptr<HttpTransfer> transfer;
    std::shared_ptr<Signal> resume;
  };

  WinInetEngine(const HttpOptions& options, std::function<void()> on_turn,
                std::shared_ptr<Root> root)
      : options_(options), on_turn_(std::move(on_turn)), root_(std::move(root)) {}

  void Run() {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
          break;
      }
      TakeCommands();
      for (const auto& worker : active_)
        worker->transfer->NotifyReaderIfWaiting();
      const std::int64_t sleep_until = CheckDeadlines();
      std::erase_if(active_, [](const auto& worker) {
        const TransferPhase phase = worker->transfer->phase();
        return phase == TransferPhase::kDone || phase == TransferPhase::kFailed;
      });
      if (on_turn_)
        on_turn_();
      signal_->WaitUntil(sleep_until);
    }
    for (const auto& worker : active_)
      worker->End(false, HttpFailure::kOther, "The HTTP session was closed");
    active_.clear();
    // Requests queued too late to start must not leave a reader waiting.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& start : to_start_)
      start.transfer->Finish(false, "The HTTP session was closed");
    to_start_.clear();
  }

  void TakeCommands() {
    std::vector<Queued> starts;
    std::vector<std::shared_ptr<HttpTransfer>> cancels;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      starts.swap(to_start_);
      cancels.swap(to_cancel_);
    }
    for (auto& start : starts) {
      // A request closed before the engine got to it never touches the network.
      if (start.transfer->closed()) {
        start.transfer->Finish(false, "Closed");
        continue;
      }
      auto worker = std::make_shared<Worker>();
      worker->transfer = std::move(start.transfer);
      worker->engine_signal = signal_;
      worker->resume = std::move(start.resume);
      worker->counters = counters_;
      const std::size_t piece =
          std::clamp<std::size_t>(worker->transfer->capacity() / 2, kSmallestPiece, kLargestPiece);
      // Detached: a worker that WinINet keeps blocked must not hold up the
      // session's end. It owns what it uses.
      std::thread([worker, root = root_, piece] { RunWorker(worker, root, piece); }).detach();
      active_.push_back(std::move(worker));
    }
    for (const auto& transfer : cancels) {
      for (const auto& worker : active_) {
        if (worker->transfer == transfer)
          worker->End(false, HttpFailure::kOther, "Closed");
      }
    }
  }

  // Fails transfers past a deadline; returns when the engine must look again.
  std::int64_t CheckDeadlines() {
    const std::int64_t now = SteadyNanos();
    std::int64_t next = now + kLongestSleepNs;
    const std::int64_t connect = Nanos(options_.connect_timeout);
    const std::int64_t idle = Nanos(options_.idle_timeout);
    const std::int64_t overall = Nanos(options_.request_timeout);
    const std::int64_t floor_window =
        options_.low_speed_limit > 0 && options_.low_speed_time.count() > 0
            ? std::chrono::duration_cast<std::chrono::nanoseconds>(options_.low_speed_time).count()
            : 0;
    for (const auto& worker : active_) {
      HttpTransfer& transfer = *worker->transfer;
      const TransferPhase phase = transfer.phase();
      if (phase == TransferPhase::kDone || phase == TransferPhase::kFailed)
        continue;
      const std::string prefix = "Cannot read " + transfer.url() + ": ";
      if (overall > 0) {
        if (now >= worker->opened_at + overall) {
          worker->End(false, HttpFailure::kTimedOut,
                      prefix + "it did not complete within " +
                          std::to_string(options_.request_timeout.count()) + " ms");
          continue;
        }
        next = std::min(next, worker->opened_at + overall);
      }
      const bool paused = worker->paused.load();
      if (!worker->connected.load()) {
        if (now >= worker->opened_at + connect) {
          worker->End(false, HttpFailure::kTimedOut,
                      prefix + "could not connect within " +
                          std::to_string(options_.connect_timeout.count()) + " ms");
          continue;
        }
        next = std::min(next, worker->opened_at + connect);
      } else if (!paused) {
        // Idle time counts only while somebody waits for the transfer.
        const std::int64_t waiting_since = transfer.reader_waiting_since();
        if (waiting_since != 0 || phase == TransferPhase::kOpening) {
          const std::int64_t deadline =
              std::max(worker->last_activity.load(), waiting_since) + idle;
          if (deadline <= now) {
            worker->End(false, HttpFailure::kTimedOut,
                        prefix + "no data received for " +
                            std::to_string(options_.idle_timeout.count()) + " ms");
            continue;
          }
          next = std::min(next, deadline);
        } else {
          next = std::min(next, now + idle);  // in case the reader starts waiting
        }
      }
      if (floor_window > 0) {
        const std::uint64_t received = worker->received.load();
        if (paused) {
          // Time paused for a reader that is not reading does not count.
          worker->window_start = now;
          worker->window_bytes = received;
        } else if (now - worker->window_start >= floor_window) {
          const double seconds = static_cast<double>(now - worker->window_start) / 1e9;
          if (static_cast<double>(received - worker->window_bytes) <
              static_cast<double>(options_.low_speed_limit) * seconds) {
            worker->End(false, HttpFailure::kTimedOut,
                        prefix + "fewer than " + std::to_string(options_.low_speed_limit) +
                            " bytes a second arrived for " +
                            std::to_string(options_.low_speed_time.count()) + " s");
            continue;
          }
          worker->window_start = now;
          worker->window_bytes = received;
        }
        next = std::min(next, worker->window_start + floor_window);
      }
    }
    return next;
  }

  const HttpOptions options_;
  const std::function<void()> on_turn_;
  const std::shared_ptr<Root> root_;
  const std::shared_ptr<Signal> signal_ = std::make_shared<Signal>();

  std::mutex mutex_;  // guards the command queues and stopping_
  std::vector<Queued> to_start_;
  std::vector<std::shared_ptr<HttpTransfer>> to_cancel_;
  bool stopping_ = false;

  // Engine thread only.
  std::vector<std::shared_ptr<Worker>> active_;
  const std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();

  std::thread thread_;
};

}  // namespace

std::shared_ptr<HttpEngine> HttpEngine::Start(const HttpOptions& options,
                                              std::function<void()> on_turn, std::string* error) {
  return WinInetEngine::Start(options, std::move(on_turn), error);
}

std::string CertificateProblem(long verify_result, const std::string& library_error) {
  switch (verify_result) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return "it has expired or is not valid yet";
    case ERROR_INTERNET_INVALID_CA:
      return "its issuer is unknown (no trusted certificate authority signed it)";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return "it has been revoked";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "it was issued for another server name";
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
      return "whether it was revoked could not be checked";
    default:
      break;
  }
  return library_error.empty() ? "it could not be verified"
                               : "it could not be verified (" + library_error + ")";
}

}  // namespace gantrell
