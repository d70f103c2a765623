// Shared pieces of the fetcher tests: publishers with real keys, provider
// sites served by a scripted session, and a driver that runs one step to
// its end the way the fetcher would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/provider.h"
#include "model/provider_list.h"
#include "net/fetch_host.h"
#include "net/fetch_step.h"
#include "net/signature.h"
#include "support/scripted_http_session.h"

namespace gantrell::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string ToText(const Bytes& bytes);

// A key pair with its "PUBLKEY" record.
struct Publisher {
  Publisher();
  // A key of `kind` (RSA keys have 1024 bits).
  explicit Publisher(KeyKind kind);
  Bytes Sign(char digit, const Bytes& message) const;
  Bytes Sign(char digit, const std::string& message) const { return Sign(digit, ToBytes(message)); }
  PrivateKeyPtr key;
  Bytes record;
};

// Keys are slow to make; the tests share a few.
const Publisher& SharedPublisher(int n);

// A control file listing group "Tools" with item "tool.exe" of stamp `stamp`.
std::string ControlText(int stamp);

// A provider whose stored record is `publisher`'s and whose key is loaded.
std::unique_ptr<CProvider> MakeProvider(const std::string& address, const Publisher* publisher);

// Four authority entries with shared publishers 0 to 3 at "http://authN.test/".
ProviderList MakeAuthorities();

// Serves public.dat, control.txt and control.sig of a provider.
void AddSite(std::map<std::string, ScriptedFile>* files, const std::string& address,
             const Publisher& publisher, int stamp);

// Runs steps against one scripted session the way the fetcher does, one
// slot, sleeping while the step waits.
class StepDriver : public FetchHost {
 public:
  StepDriver(ProviderList& providers, std::map<std::string, ScriptedFile> files,
             std::chrono::milliseconds delay = std::chrono::milliseconds(1));
  // Runs against `session` (a real one, say) instead.
  StepDriver(ProviderList& providers, std::unique_ptr<AsyncHttpSession> session);
  ~StepDriver() override;

  // Runs `step` until it returns something other than 1 or 2.
  int Run(CFetchStep& step);
  std::vector<std::string> OpenedUrls() const { return log_->opened_urls(); }

  AsyncHttpSession* Session() override { return session_.get(); }
  HttpHandle RecordedHandle(int slot) override;
  bool LastCompletionSucceeded(int slot) override;
  ProviderList& Providers() override { return providers_; }
  Time Now() override { return now; }
  ControlFileContext MakeControlFileContext() override;

  Time now = 0;

 private:
  void Listen();

  ProviderList& providers_;
  std::shared_ptr<ScriptedLog> log_;
  std::unique_ptr<AsyncHttpSession> session_;
  std::mutex mutex_;
  std::condition_variable completed_;
  bool completion_ = false;
  bool last_ok_ = true;
  HttpHandle handle_ = 0;
};

// A fixed "now" for the tests: 1 June 2024, 12:00 local time.
Time TestNow();

}  // namespace gantrell::testing
