// What the step objects of one fetch need from the fetcher that drives them.
// The fetcher implements it; tests may drive single steps with their own.
#pragma once

#include <cstdint>

#include "model/control_file.h"
#include "model/local_time.h"
#include "model/provider_list.h"
#include "platform/http.h"

namespace gantrell {

// The context value of a slot's requests is the slot number plus this, so
// the status callback can tell the fetch's notices from any other.
inline constexpr std::uintptr_t kSlotContextBase = 10;
inline constexpr int kFetchSlotCount = 10;

class FetchHost {
 public:
  virtual ~FetchHost() = default;

  // The session the fetch runs on, or none when no fetch is running.
  virtual AsyncHttpSession* Session() = 0;
  // The request handle the status callback last saw created for `slot`
  // (0 when none). A transfer whose open was pending takes its handle here.
  virtual HttpHandle RecordedHandle(int slot) = 0;
  // Whether the last completion notice for `slot` reported success.
  virtual bool LastCompletionSucceeded(int slot) = 0;

  // Entries 0 to 3 are the authority key entries.
  virtual ProviderList& Providers() = 0;
  virtual Time Now() = 0;
  virtual ControlFileContext MakeControlFileContext() = 0;
};

}  // namespace gantrell
