#include "platform/http_sync_session.h"

#include <chrono>
#include <utility>

namespace gantrell {
namespace {

class EngineHttpRequest : public HttpRequest {
 public:
  EngineHttpRequest(std::shared_ptr<HttpEngine> engine, std::shared_ptr<HttpTransfer> transfer)
      : engine_(std::move(engine)), transfer_(std::move(transfer)) {}

  ~EngineHttpRequest() override { Close(); }

  HttpResponseInfo Response() const override { return transfer_->response(); }

  bool Read(void* buffer, std::size_t capacity, std::size_t* bytes_read) override {
    *bytes_read = 0;
    if (capacity == 0) {
      return false;
    }
    for (;;) {
      if (transfer_->closed()) {
        return false;
      }
      const std::size_t count = transfer_->TryRead(buffer, capacity);
      if (count > 0) {
        *bytes_read = count;
        return true;
      }
      const TransferPhase phase = transfer_->phase();
      if (phase == TransferPhase::kDone || phase == TransferPhase::kFailed) {
        // The last bytes may have arrived just before the phase changed.
        *bytes_read = transfer_->TryRead(buffer, capacity);
        return *bytes_read > 0 || phase == TransferPhase::kDone;
      }
      transfer_->WaitForData();
    }
  }

  void Close() override {
    if (transfer_->Close()) {
      engine_->Cancel(transfer_);
    }
  }

 private:
  std::shared_ptr<HttpEngine> engine_;
  std::shared_ptr<HttpTransfer> transfer_;
};

}  // namespace

std::unique_ptr<EngineHttpSession> EngineHttpSession::Open(const HttpOptions& options,
                                                       std::string* error) {
  HttpOptions sync_options = options;
  sync_options.request_timeout = std::chrono::milliseconds(0);
  auto engine = HttpEngine::Start(sync_options, nullptr, error);
  if (engine == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<EngineHttpSession>(new EngineHttpSession(std::move(engine)));
}

std::unique_ptr<HttpRequest> EngineHttpSession::OpenUrl(const std::string& url,
                                                      const HttpRequestOptions& request,
                                                      std::string* error) {
  {
    // After CloseAll no request may even reach a server.
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
      *error = "Closed";
      return nullptr;
    }
  }
  auto transfer = engine_->Open(url, request, error);
  if (transfer == nullptr) {
    return nullptr;
  }
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed = closed_;
    if (!closed) {
      std::erase_if(transfers_, [](const auto& entry) { return entry.expired(); });
      transfers_.push_back(transfer);
    }
  }
  // A CloseAll from now on closes the transfer and so ends this wait.
  if (!closed) {
    transfer->WaitForResponse();
  }
  if (closed || transfer->closed() || !transfer->response_started()) {
    *error = closed || transfer->closed() ? "Closed" : transfer->error();
    transfer->Close();
    engine_->Cancel(transfer);
    return nullptr;
  }
  return std::make_unique<EngineHttpRequest>(engine_, std::move(transfer));
}

void EngineHttpSession::CloseAll() {
  std::vector<std::shared_ptr<HttpTransfer>> transfers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (const auto& entry : transfers_) {
      if (auto transfer = entry.lock()) {
        transfers.push_back(std::move(transfer));
      }
    }
    transfers_.clear();
  }
  // The first Close of a transfer wakes its reader; the request's own Close
  // later finds it closed and does nothing more.
  for (const auto& transfer : transfers) {
    if (transfer->Close()) {
      engine_->Cancel(transfer);
    }
  }
}

std::unique_ptr<HttpSession> OpenHttpSession(const HttpOptions& options, std::string* error) {
  return EngineHttpSession::Open(options, error);
}

}  // namespace gantrell
