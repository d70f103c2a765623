#include "platform/http_curl_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/http_response_headers.h"

namespace gantrell {

struct CurlEngine::Active {
  CurlEngine* engine = nullptr;
  CURL* easy = nullptr;
  std::shared_ptr<HttpTransfer> transfer;
  bool paused = false;
  bool connected = false;     // a connection is up; the idle clock runs from here
  bool saw_location = false;  // the current header block carries a Location
  HttpResponseInfo response;  // the current header block's headers
  curl_slist* headers = nullptr;  // extra request headers (If-Range)
  std::int64_t last_activity = 0;
  char error_buffer[CURL_ERROR_SIZE] = {};
};

namespace {

// While a reader waits and nothing has happened, the engine still looks at
// the clock once an hour; nothing is polled.
constexpr int kLongestSleepMs = 3600 * 1000;
// The largest receive buffer libcurl accepts everywhere.
constexpr std::size_t kLargestPiece = 512 * 1024;

std::once_flag g_curl_init_once;
bool g_curl_init_ok = false;

bool InitCurlOnce() {
  std::call_once(g_curl_init_once,
                 [] { g_curl_init_ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return g_curl_init_ok;
}

bool StartsWithNoCase(const char* text, std::size_t size, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  if (size < length) {
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The value of a header line that starts with `name` (which ends in ':'),
// without the white space around it.
std::string HeaderValue(const char* data, std::size_t size, const char* name) {
  std::size_t first = std::strlen(name);
  std::size_t last = size;
  while (first < last && (data[first] == ' ' || data[first] == '\t'))
    ++first;
  while (last > first && (data[last - 1] == ' ' || data[last - 1] == '\t' ||
                          data[last - 1] == '\r' || data[last - 1] == '\n'))
    --last;
  return std::string(data + first, last - first);
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* active = static_cast<CurlEngine::Active*>(user);
  const std::size_t length = size * count;
  active->last_activity = SteadyNanos();
  if (StartsWithNoCase(data, length, "http/")) {
    active->saw_location = false;  // a new response (after a redirect or a 100)
    active->response = HttpResponseInfo{};
  } else if (StartsWithNoCase(data, length, "location:")) {
    active->saw_location = true;
  } else if (StartsWithNoCase(data, length, "etag:")) {
    active->response.etag = HeaderValue(data, length, "etag:");
  } else if (StartsWithNoCase(data, length, "last-modified:")) {
    active->response.last_modified = HeaderValue(data, length, "last-modified:");
  } else if (StartsWithNoCase(data, length, "content-length:")) {
    active->response.content_length =
        HttpWholeNumber(HeaderValue(data, length, "content-length:"));
  } else if (StartsWithNoCase(data, length, "content-range:")) {
    ReadContentRange(HeaderValue(data, length, "content-range:"), &active->response);
  } else if (length <= 2 && (data[0] == '\r' || data[0] == '\n')) {
    // The end of a header block. Interim (1xx) responses and redirects that
    // libcurl is about to follow are not the response the reader wants.
    long code = 0;
    curl_easy_getinfo(active->easy, CURLINFO_RESPONSE_CODE, &code);
    const bool interim = code >= 100 && code < 200;
    const bool redirect = code >= 300 && code < 400 && active->saw_location;
    if (!interim && !redirect) {
      active->response.status = static_cast<int>(code);
      active->transfer->SetResponse(active->response);
      active->transfer->SetHttpStatus(static_cast<int>(code));
      active->transfer->MarkStarted();
    }
  }
  return length;
}

int OnConnected(void* user, char*, char*, int, int) {
  auto* active = static_cast<CurlEngine::Active*>(user);
  active->connected = true;
  active->last_activity = SteadyNanos();
  return CURL_PREREQFUNC_OK;
}

HttpFailure FailureKind(CURLcode result) {
  switch (result) {
    case CURLE_COULDNT_CONNECT:
      return HttpFailure::kRefused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpFailure::kHostNotFound;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpFailure::kTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return HttpFailure::kCertificate;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
      return HttpFailure::kTls;
    default:
      return HttpFailure::kOther;
  }
}

bool StartsWithHttps(const std::string& url) {
  constexpr std::string_view kHttps = "https://";
  if (url.size() < kHttps.size())
    return false;
  for (std::size_t i = 0; i < kHttps.size(); ++i) {
    const char c = url[i] >= 'A' && url[i] <= 'Z' ? static_cast<char>(url[i] - 'A' + 'a') : url[i];
    if (c != kHttps[i])
      return false;
  }
  return true;
}

// Accepts absolute http and https addresses only.
bool CheckUrl(const std::string& url, std::string* error) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) {
    *error = "Out of memory";
    return false;
  }
  bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  if (ok) {
    char* scheme = nullptr;
    ok = curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
         (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0);
    curl_free(scheme);
  }
  curl_url_cleanup(parsed);
  if (!ok) {
    *error = "Not a valid web address: \"" + url + "\"";
  }
  return ok;
}

}  // namespace

std::size_t CurlEngine::OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* active = static_cast<Active*>(user);
  CurlEngine* engine = active->engine;
  const std::size_t length = size * count;
  active->last_activity = SteadyNanos();
  active->transfer->MarkStarted();
  switch (active->transfer->Append(data, length)) {
    case HttpTransfer::AppendResult::kStored: {
      const std::size_t buffered = active->transfer->buffered();
      if (buffered > engine->peak_buffered_.load(std::memory_order_relaxed)) {
        engine->peak_buffered_.store(buffered, std::memory_order_relaxed);
      }
      return length;
    }
    case HttpTransfer::AppendResult::kFull:
      // libcurl keeps these bytes and hands them over again after the
      // transfer is resumed.
      active->paused = true;
      engine->pauses_.fetch_add(1, std::memory_order_relaxed);
      return CURL_WRITEFUNC_PAUSE;
    case HttpTransfer::AppendResult::kTooLarge:
      break;
  }
  return 0;  // aborts the transfer with a write error
}

std::shared_ptr<CurlEngine> CurlEngine::Start(const HttpOptions& options,
                                              std::function<void()> on_turn, std::string* error) {
  if (!InitCurlOnce()) {
    *error = "The network library could not be initialised";
    return nullptr;
  }
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) {
    *error = "Could not create an HTTP session";
    return nullptr;
  }
  std::shared_ptr<CurlEngine> engine(new CurlEngine(options, std::move(on_turn), multi));
  engine->thread_ = std::thread([raw = engine.get()] { raw->Run(); });
  return engine;
}

std::shared_ptr<HttpEngine> HttpEngine::Start(const HttpOptions& options,
                                              std::function<void()> on_turn, std::string* error) {
  return CurlEngine::Start(options, std::move(on_turn), error);
}

CurlEngine::CurlEngine(const HttpOptions& options, std::function<void()> on_turn, void* multi)
    : options_(options), on_turn_(std::move(on_turn)), multi_(multi) {}

CurlEngine::~CurlEngine() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

std::shared_ptr<HttpTransfer> CurlEngine::Open(const std::string& url,
                                               const HttpRequestOptions& request,
                                               std::string* error) {
  if (!CheckUrl(url, error)) {
    return nullptr;
  }
  // A header value must not carry a line break into the request.
  if (request.if_range.find_first_of("\r\n") != std::string::npos) {
    *error = "Not a valid If-Range value";
    return nullptr;
  }
  // The buffer must hold at least one chunk as libcurl delivers it, or a
  // paused transfer could never be resumed.
  const std::size_t capacity = std::max<std::size_t>(options_.max_buffered, CURL_MAX_WRITE_SIZE);
  auto transfer = std::make_shared<HttpTransfer>(url, capacity, [this] { Wake(); }, request);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to_start_.push_back(transfer);
  }
  Wake();
  return transfer;
}

void CurlEngine::Cancel(const std::shared_ptr<HttpTransfer>& transfer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to_cancel_.push_back(transfer);
  }
  Wake();
}

void CurlEngine::Wake() {
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

HttpEngineStats CurlEngine::stats() const {
  HttpEngineStats stats;
  stats.pauses = pauses_.load(std::memory_order_relaxed);
  stats.peak_buffered = peak_buffered_.load(std::memory_order_relaxed);
  return stats;
}

void CurlEngine::Run() {
  CURLM* multi = static_cast<CURLM*>(multi_);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) {
        break;
      }
    }
    TakeCommands();
    ResumeTransfers();
    int running = 0;
    curl_multi_perform(multi, &running);
    for (const auto& active : active_) {
      active->transfer->NotifyReaderIfWaiting();
    }
    CollectFinished();
    const int sleep_ms = CheckIdleDeadlines();
    if (on_turn_) {
      on_turn_();
    }
    curl_multi_poll(multi, nullptr, 0, sleep_ms, nullptr);
  }
  while (!active_.empty()) {
    End(active_.back().get(), false, "The HTTP session was closed");
  }
  // Requests queued too late to start must not leave a reader waiting.
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& transfer : to_start_) {
    transfer->Finish(false, "The HTTP session was closed");
  }
  to_start_.clear();
}

void CurlEngine::TakeCommands() {
  std::vector<std::shared_ptr<HttpTransfer>> starts;
  std::vector<std::shared_ptr<HttpTransfer>> cancels;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    starts.swap(to_start_);
    cancels.swap(to_cancel_);
  }
  for (const auto& transfer : starts) {
    // A request closed before the engine got to it never touches the network.
    if (!transfer->closed()) {
      StartTransfer(transfer);
    } else {
      transfer->Finish(false, "Closed");
    }
  }
  for (const auto& transfer : cancels) {
    auto found = std::find_if(active_.begin(), active_.end(),
                              [&](const auto& active) { return active->transfer == transfer; });
    if (found != active_.end()) {
      End(found->get(), false, "Closed");
    }
  }
}

void CurlEngine::StartTransfer(const std::shared_ptr<HttpTransfer>& transfer) {
  auto active = std::make_unique<Active>();
  active->engine = this;
  active->transfer = transfer;
  active->easy = curl_easy_init();
  if (active->easy == nullptr) {
    transfer->Finish(false, "Cannot open " + transfer->url() + ": out of memory");
    return;
  }
  CURL* easy = active->easy;
  curl_easy_setopt(easy, CURLOPT_URL, transfer->url().c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  // What came over https must not be handed on over plain http, where
  // anyone on the way can read and change it: an https address follows
  // redirects to https addresses only.
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                   StartsWithHttps(transfer->url()) ? "https" : "http,https");
  if (!options_.ca_file.empty())
    curl_easy_setopt(easy, CURLOPT_CAINFO, options_.ca_file.c_str());
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.user_agent.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::max<std::int64_t>(options_.connect_timeout.count(), 1)));
  if (options_.request_timeout.count() > 0) {
    curl_easy_setopt(
        easy, CURLOPT_TIMEOUT_MS,
        static_cast<long>(std::min<std::int64_t>(options_.request_timeout.count(), LONG_MAX)));
  }
  if (options_.low_speed_limit > 0 && options_.low_speed_time.count() > 0) {
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT,
                     static_cast<long>(std::min<std::size_t>(options_.low_speed_limit, LONG_MAX)));
    curl_easy_setopt(
        easy, CURLOPT_LOW_SPEED_TIME,
        static_cast<long>(std::min<std::int64_t>(options_.low_speed_time.count(), LONG_MAX)));
  }
  // Bodies arrive in pieces of up to half the transfer's buffer, so a large
  // download costs few receive calls and few wake-ups of its reader, and a
  // piece still fits once the reader has drained half the buffer.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                   static_cast<long>(std::clamp<std::size_t>(transfer->capacity() / 2,
                                                             CURL_MAX_WRITE_SIZE, kLargestPiece)));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, active->error_buffer);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, active.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, active.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlEngine::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, active.get());
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, active.get());
  const HttpRequestOptions& request = transfer->request();
  if (request.range_start > 0) {
    // CURLOPT_RANGE rather than a resume offset: a server that answers 200
    // with the whole body is no error here, the caller starts over.
    const std::string range = std::to_string(request.range_start) + "-";
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // libcurl copies it
    if (!request.if_range.empty()) {
      active->headers =
          curl_slist_append(nullptr, ("If-Range: " + request.if_range).c_str());
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, active->headers);
    }
  }
  if (curl_multi_add_handle(static_cast<CURLM*>(multi_), easy) != CURLM_OK) {
    curl_easy_cleanup(easy);
    curl_slist_free_all(active->headers);
    transfer->Finish(false, "Cannot open " + transfer->url());
    return;
  }
  active_.push_back(std::move(active));
}

void CurlEngine::ResumeTransfers() {
  // Resuming may deliver data, end the transfer or pause it again; all of
  // that is handled by the callbacks and the next perform.
  for (const auto& active : active_) {
    if (active->transfer->TakeResumeRequest() && active->paused) {
      active->paused = false;
      active->transfer->ClearPaused();
      active->last_activity = SteadyNanos();
      curl_easy_pause(active->easy, CURLPAUSE_CONT);
    }
  }
}

void CurlEngine::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(static_cast<CURLM*>(multi_), &left)) {
    if (message->msg != CURLMSG_DONE) {
      continue;
    }
    Active* active = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &active);
    const CURLcode result = message->data.result;
    if (result == CURLE_OK) {
      // A response without a body still counts as a started response.
      active->transfer->MarkStarted();
      End(active, true, "");
    } else {
      std::string detail =
          active->error_buffer[0] != '\0' ? active->error_buffer : curl_easy_strerror(result);
      HttpFailure kind = FailureKind(result);
      if (kind == HttpFailure::kCertificate) {
        long verify_result = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_SSL_VERIFYRESULT, &verify_result);
        detail = "the server's certificate is not trusted: " +
                 CertificateProblem(verify_result, detail);
      } else if (result == CURLE_UNSUPPORTED_PROTOCOL && StartsWithHttps(active->transfer->url())) {
        kind = HttpFailure::kInsecureRedirect;
        detail = "the server redirected it to an address that is not https, which is refused";
      }
      active->transfer->SetFailureKind(kind);
      End(active, false, "Cannot read " + active->transfer->url() + ": " + detail);
    }
  }
}

int CurlEngine::CheckIdleDeadlines() {
  const std::int64_t idle =
      std::chrono::duration_cast<std::chrono::nanoseconds>(options_.idle_timeout).count();
  const std::int64_t now = SteadyNanos();
  std::int64_t sleep = std::int64_t{kLongestSleepMs} * 1000000;
  std::vector<Active*> expired;
  for (const auto& active : active_) {
    HttpTransfer& transfer = *active->transfer;
    // Time spent paused, or connecting (which has its own timeout), is not
    // idle time. Neither is time in which nobody waits for the transfer.
    if (active->paused || !active->connected) {
      continue;
    }
    const std::int64_t waiting_since = transfer.reader_waiting_since();
    const bool waiting = waiting_since != 0 || transfer.phase() == TransferPhase::kOpening;
    if (!waiting) {
      // Look again within one timeout in case the reader starts waiting.
      sleep = std::min(sleep, idle);
      continue;
    }
    const std::int64_t deadline = std::max(active->last_activity, waiting_since) + idle;
    if (deadline <= now) {
      expired.push_back(active.get());
    } else {
      sleep = std::min(sleep, deadline - now);
    }
  }
  for (Active* active : expired) {
    active->transfer->SetFailureKind(HttpFailure::kTimedOut);
    End(active, false,
        "Cannot read " + active->transfer->url() + ": no data received for " +
            std::to_string(options_.idle_timeout.count()) + " ms");
  }
  // Round up so the engine does not wake a moment before the deadline.
  return static_cast<int>(std::min<std::int64_t>((sleep + 999999) / 1000000, INT_MAX));
}

void CurlEngine::End(Active* active, bool ok, const std::string& error) {
  active->transfer->Finish(ok, error);
  Remove(active);
}

void CurlEngine::Remove(Active* active) {
  curl_multi_remove_handle(static_cast<CURLM*>(multi_), active->easy);
  curl_easy_cleanup(active->easy);
  curl_slist_free_all(active->headers);
  auto found = std::find_if(active_.begin(), active_.end(),
                            [&](const auto& entry) { return entry.get() == active; });
  active_.erase(found);
}

std::string CertificateProblem(long verify_result, const std::string& library_error) {
  // OpenSSL's verify results (X509_V_ERR_*), which do not change between
  // its versions.
  switch (verify_result) {
    case 9:  // certificate is not yet valid
      return "it is not valid yet";
    case 10:  // certificate has expired
      return "it has expired";
    case 2:   // unable to get issuer certificate
    case 18:  // self-signed certificate
    case 19:  // self-signed certificate in the chain
    case 20:  // unable to get local issuer certificate
    case 21:  // unable to verify the first certificate
      return "its issuer is unknown (no trusted certificate authority signed it)";
    case 23:  // certificate revoked
      return "it has been revoked";
    case 62:  // hostname mismatch
      return "it was issued for another server name";
    default:
      break;
  }
  // The library checks the server's name itself and reports a mismatch
  // only in its text.
  if (library_error.find("subject name") != std::string::npos ||
      library_error.find("host name") != std::string::npos ||
      library_error.find("hostname") != std::string::npos) {
    return "it was issued for another server name";
  }
  return library_error.empty() ? "it could not be verified"
                               : "it could not be verified (" + library_error + ")";
}

}  // namespace gantrell
