#include "fetch_test_util.h"

#include <gtest/gtest.h>

namespace gantrell::testing {

Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::string ToText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Publisher::Publisher() : Publisher(KeyKind::kRsa) {}

Publisher::Publisher(KeyKind kind) {
  std::string error;
  key = kind == KeyKind::kEd25519 ? GenerateEd25519Key(&error) : GenerateRsaKey(1024, &error);
  EXPECT_NE(key, nullptr) << error;
  if (key)
    record = MakeKeyRecord(*key);
}

Bytes Publisher::Sign(char digit, const Bytes& message) const {
  return MakeSignatureRecord(*key, digit, message.data(), message.size());
}

const Publisher& SharedPublisher(int n) {
  static std::vector<std::unique_ptr<Publisher>> publishers;
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  while (static_cast<int>(publishers.size()) <= n)
    publishers.push_back(std::make_unique<Publisher>());
  return *publishers[static_cast<std::size_t>(n)];
}

std::string ControlText(int stamp) {
  return "Header TCHK 7 \"1 3 2024\" KMADE \"1 3 2024\" ID 1 KEYNAME \"Test Provider\" GRP Tools "
         "FILE tool.exe DESC \"A tool\" LOCN tool.exe UPD 1/3/2024 LEN 100 TIME " +
         std::to_string(stamp) + " END END";
}

std::unique_ptr<CProvider> MakeProvider(const std::string& address, const Publisher* publisher) {
  auto provider = std::make_unique<CProvider>();
  provider->m_strAddress = address;
  provider->m_nScanMode = 1;
  // A recent key needs no licence unless a test says otherwise.
  provider->m_timeKeyMade = TestNow() - 10 * kSecondsPerDay;
  if (publisher != nullptr) {
    provider->SetKeyData(publisher->record.data(), static_cast<int>(publisher->record.size()));
    provider->SetPublicKey(publisher->record.data(), static_cast<int>(publisher->record.size()));
  }
  return provider;
}

ProviderList MakeAuthorities() {
  ProviderList providers;
  for (int i = 0; i < 4; ++i) {
    providers.push_back(
        MakeProvider("http://auth" + std::to_string(i) + ".test/", &SharedPublisher(i)));
  }
  return providers;
}

void AddSite(std::map<std::string, ScriptedFile>* files, const std::string& address,
             const Publisher& publisher, int stamp) {
  const std::string text = ControlText(stamp);
  (*files)[address + "public.dat"].body = ToText(publisher.record);
  (*files)[address + "control.txt"].body = text;
  (*files)[address + "control.sig"].body = ToText(publisher.Sign('1', text));
}

Time TestNow() {
  Time now = 0;
  LocalNoon(1, 6, 2024, &now);
  return now;
}

StepDriver::StepDriver(ProviderList& providers, std::map<std::string, ScriptedFile> files,
                       std::chrono::milliseconds delay)
    : now(TestNow()),
      providers_(providers),
      log_(std::make_shared<ScriptedLog>()),
      session_(std::make_unique<ScriptedHttpSession>(std::move(files), delay, log_)) {
  Listen();
}

StepDriver::StepDriver(ProviderList& providers, std::unique_ptr<AsyncHttpSession> session)
    : now(TestNow()),
      providers_(providers),
      log_(std::make_shared<ScriptedLog>()),
      session_(std::move(session)) {
  Listen();
}

void StepDriver::Listen() {
  session_->SetStatusCallback(
      [this](HttpHandle handle, std::uintptr_t context, int status, std::uint64_t result) {
        if (context != kSlotContextBase)
          return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (status == kHttpHandleCreated)
          handle_ = handle;
        if (status == kHttpRequestComplete) {
          completion_ = true;
          last_ok_ = result != 0;
          completed_.notify_all();
        }
      });
}

StepDriver::~StepDriver() {
  session_->SetStatusCallback({});
}

int StepDriver::Run(CFetchStep& step) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      completion_ = false;
    }
    const int result = step.Step();
    if (result == kStepReady)
      continue;
    if (result != kStepWaiting)
      return result;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!completed_.wait_for(lock, std::chrono::seconds(10), [this] { return completion_; })) {
      ADD_FAILURE() << "no completion notice within 10 seconds";
      return -1;
    }
  }
}

HttpHandle StepDriver::RecordedHandle(int /*slot*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  return handle_;
}

bool StepDriver::LastCompletionSucceeded(int /*slot*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_ok_;
}

ControlFileContext StepDriver::MakeControlFileContext() {
  ControlFileContext context;
  context.now = now;
  context.draw = [] { return 0; };
  return context;
}

}  // namespace gantrell::testing
