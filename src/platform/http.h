// HTTP sessions: on libcurl on Linux, on WinINet on Windows.
//
// Behaviour shared by both kinds of session:
// - an HTTP error status still delivers its body as data, so an error page
//   reads like any file; redirects are followed; proxies come from the
//   usual environment variables (Linux) or the system's settings
//   (Windows); the agent is HttpOptions::user_agent;
// - a transfer that cannot connect within the connect timeout, that
//   receives nothing for the idle timeout while its reader is waiting for
//   data, or whose speed stays below the low-speed floor, fails; a request
//   of an asynchronous session also fails once its overall deadline passes;
// - memory is bounded: a transfer whose reader is not reading is paused
//   once HttpOptions::max_buffered bytes wait for it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace gantrell {

struct HttpOptions {
  std::string user_agent = "Gantrell V1.0";
  std::chrono::milliseconds connect_timeout{30000};
  std::chrono::milliseconds idle_timeout{60000};
  // Overall deadline of every request of an asynchronous session, from the
  // open to the last byte. That session fetches the update lists (files of
  // at most 1,000,000 bytes), for which a minute is plenty; downloads of
  // any size run on the synchronous session, which has no such deadline.
  // 0: none.
  std::chrono::milliseconds request_timeout{60000};
  // A transfer of either session fails when it receives fewer than
  // low_speed_limit bytes a second for low_speed_time (whole seconds), so a
  // server that trickles cannot hold a request for ever. Time in which the
  // transfer is paused for a reader that is not reading does not count.
  // 0 for either: no floor.
  std::size_t low_speed_limit = 1024;
  std::chrono::seconds low_speed_time{60};
  std::size_t max_buffered = 256 * 1024;
  // A file of certificates to trust in place of the system's; empty: the
  // system's. Linux only: WinINet always checks against the system's
  // certificate store.
  std::string ca_file;
};

// Why a server's certificate is not trusted, in words ("it has expired"),
// from the certificate check's result code (OpenSSL's verify result on
// Linux, WinINet's ERROR_INTERNET_* code on Windows) and the network
// library's error text.
std::string CertificateProblem(long verify_result, const std::string& library_error);

// A request handle of the asynchronous session; 0 is none. Handles are
// never reused within a session.
using HttpHandle = std::uint64_t;

// Status codes delivered to the asynchronous session's callback, numbered
// as the platform's internet API numbers them.
enum HttpStatus : int {
  kHttpHandleCreated = 60,    // result: the new request handle
  kHttpHandleClosing = 70,    // result: 0
  kHttpRequestComplete = 100  // result: 1 when the operation succeeded, 0 when it failed
};

// (handle, the caller's context value, status, result). Called from the
// session's own thread, never from inside a call into the session, and
// never after the session is destroyed or the callback is replaced.
using HttpStatusCallback = std::function<void(HttpHandle handle, std::uintptr_t context, int status,
                                              std::uint64_t result)>;

enum class HttpResult { kOk, kPending, kFailed };

// Why a transfer failed below HTTP, in the terms a user can act on.
enum class HttpFailure {
  kNone,
  kRefused,
  kHostNotFound,
  kTimedOut,
  kTls,
  kCertificate,       // the server's certificate is not trusted (error() says why)
  kInsecureRedirect,  // an https address redirected to one that is not https
  kOther
};

// What a request has seen so far: the final response's status (0 until its
// headers are in) and, once it failed, why.
struct HttpOutcome {
  int status = 0;
  HttpFailure failure = HttpFailure::kNone;
  std::string error;  // the network library's own words; empty without failure
};

// One engine thread drives every transfer of the session; a caller that
// waits for a completion costs no CPU.
class AsyncHttpSession {
 public:
  // Closes every open request; no callback runs after this returns.
  virtual ~AsyncHttpSession() = default;

  // Registers the status callback (an empty function unregisters it).
  virtual void SetStatusCallback(HttpStatusCallback callback) = 0;

  // Starts a GET of `url`. kPending: the request handle is delivered with
  // kHttpHandleCreated, then kHttpRequestComplete once the response can be
  // read (result 1) or the request failed (result 0). kFailed: the URL was
  // not accepted and no handle exists. (kOk, with *handle set, is allowed
  // but this implementation always answers kPending for a valid URL.)
  virtual HttpResult OpenUrl(const std::string& url, std::uintptr_t context,
                             HttpHandle* handle) = 0;

  // Reads up to `capacity` body bytes. kOk: *bytes_read holds the count,
  // 0 at the end of the body. kPending: nothing is there yet; `buffer` and
  // `*bytes_read` must stay valid, are filled by the session's thread, and
  // kHttpRequestComplete for `context` follows (result 0 when the transfer
  // failed). kFailed: the transfer failed or the handle is unknown.
  virtual HttpResult Read(HttpHandle handle, void* buffer, std::size_t capacity,
                          std::size_t* bytes_read, std::uintptr_t context) = 0;

  // Closes the request, abandoning any pending read: once Close returns the
  // session no longer touches that read's buffer. kHttpHandleClosing
  // follows from the session's thread. Returns false for an unknown handle.
  virtual bool Close(HttpHandle handle) = 0;

  // What the open request `handle` has seen (an unknown handle: nothing).
  virtual HttpOutcome Outcome(HttpHandle handle) {
    (void)handle;
    return {};
  }
};

// Opens an asynchronous session; nullptr with a message in *error on
// failure.
std::unique_ptr<AsyncHttpSession> OpenAsyncHttpSession(const HttpOptions& options,
                                                       std::string* error);

// What a GET of the synchronous session asks for beyond its address.
struct HttpRequestOptions {
  // Above 0: only the body from this byte on is asked for
  // ("Range: bytes=N-"); a server may still answer with the whole body.
  std::uint64_t range_start = 0;
  // With range_start: the ETag (quotes included, as the server sent it) or
  // the Last-Modified date of the copy the earlier bytes came from, sent as
  // If-Range, so that a server whose file has changed sends all of it
  // (200) rather than the rest of another file. Empty: none sent.
  std::string if_range;
};

// The final response of a request of the synchronous session, as far as a
// download that continues an earlier one needs it. Header values are as the
// server sent them, without the surrounding white space; empty when absent.
struct HttpResponseInfo {
  int status = 0;  // e.g. 200, 206, 416
  std::string etag;
  std::string last_modified;
  // The body's length from Content-Length; -1 when not given.
  std::int64_t content_length = -1;
  // A 206 answer's "Content-Range: bytes FIRST-LAST/TOTAL": FIRST and TOTAL
  // (TOTAL -1 for "*"); a 416 answer's "bytes */TOTAL": TOTAL only. Both -1
  // without a Content-Range header or when it does not read as one.
  std::int64_t range_first = -1;
  std::int64_t range_total = -1;
};

// A request of the synchronous session.
class HttpRequest {
 public:
  // Closes the request if still open.
  virtual ~HttpRequest() = default;

  // The final response's status and headers (redirects and interim
  // responses left out). Fixed once OpenUrl has returned the request.
  virtual HttpResponseInfo Response() const = 0;

  // Blocks until body bytes arrive (true, *bytes_read > 0), the body ends
  // (true, *bytes_read 0) or the transfer fails or is closed (false).
  virtual bool Read(void* buffer, std::size_t capacity, std::size_t* bytes_read) = 0;

  // May be called from any thread, any number of times: the first call
  // closes the request and a Read blocked in another thread returns false
  // at once; later calls do nothing.
  virtual void Close() = 0;
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;

  // Starts a GET of `url` and blocks until the response starts arriving.
  // nullptr with a message in *error when it cannot be opened (bad URL,
  // no connection, connect timeout). An error status (404, 416...) still
  // opens: Response() tells it.
  virtual std::unique_ptr<HttpRequest> OpenUrl(const std::string& url,
                                               const HttpRequestOptions& request,
                                               std::string* error) = 0;
  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, std::string* error) {
    return OpenUrl(url, HttpRequestOptions{}, error);
  }

  // Closes every request of the session, open or still opening: an OpenUrl
  // blocked in another thread returns nullptr at once, a blocked Read
  // returns false, and every later OpenUrl fails. Any thread, any number of
  // times (a user's cancel).
  virtual void CloseAll() = 0;
};

// Opens a synchronous session; nullptr with a message in *error on failure.
std::unique_ptr<HttpSession> OpenHttpSession(const HttpOptions& options, std::string* error);

}  // namespace gantrell
