// The synchronous HTTP session on a network engine: blocking open and read, with a
// Close that may come from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/http_engine.h"

namespace gantrell {

class EngineHttpSession : public HttpSession {
 public:
  // nullptr with a message in *error when the session cannot be set up.
  static std::unique_ptr<EngineHttpSession> Open(const HttpOptions& options, std::string* error);

  // Requests of this session have no overall deadline (downloads may be
  // large); HttpOptions::request_timeout is ignored.
  using HttpSession::OpenUrl;
  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const HttpRequestOptions& request,
                                       std::string* error) override;
  void CloseAll() override;

  // Pause and buffer figures of every request of this session so far.
  HttpEngineStats stats() const { return engine_->stats(); }

 private:
  explicit EngineHttpSession(std::shared_ptr<HttpEngine> engine) : engine_(std::move(engine)) {}

  // Shared with the open requests, which may outlive the session.
  std::shared_ptr<HttpEngine> engine_;

  std::mutex mutex_;  // guards closed_ and transfers_
  bool closed_ = false;
  // Every transfer handed out or opening, for CloseAll; ended ones expire.
  std::vector<std::weak_ptr<HttpTransfer>> transfers_;
};

}  // namespace gantrell
