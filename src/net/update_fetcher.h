// Brings the providers' published files up to date. RunFetch drives up to
// ten providers at once over one asynchronous HTTP session from a single
// thread: each provider's work is a CProviderJob in one of ten slots, the
// session's status callback marks a waiting slot runnable, and the thread
// sleeps whenever a whole pass found nothing to run.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "model/control_file.h"
#include "model/provider_list.h"
#include "net/fetch_host.h"
#include "net/provider_job.h"
#include "platform/http.h"

namespace gantrell {

// What a fetch needs from the application.
struct FetchEnvironment {
  // Whether the user cancelled the wait (read once per pass). Empty: never.
  std::function<bool()> is_cancelled;
  // The clock for the due test and the key-age rules. Empty: Now().
  std::function<Time()> now;
  // The context a control file parse runs in. Empty: `now` and no draws.
  std::function<ControlFileContext()> make_control_context;
  // Opens the session; nullptr (with a message) on failure. Empty: an
  // asynchronous session with default HttpOptions.
  std::function<std::unique_ptr<AsyncHttpSession>(std::string* error)> open_session;
};

class CUpdateFetcher : public FetchHost {
 public:
  // The provider list is borrowed; it must outlive the fetcher and keep its
  // entries while a fetch runs.
  CUpdateFetcher(ProviderList& providers, FetchEnvironment environment);
  ~CUpdateFetcher() override;

  CUpdateFetcher(const CUpdateFetcher&) = delete;
  CUpdateFetcher& operator=(const CUpdateFetcher&) = delete;

  // Fetches every due provider (`index` -1) or provider `index` whatever its
  // next check. Results are left in each provider's m_nFetchStatus and in
  // the model. Opens no session when nothing is due, and returns early
  // (marking providers 0 up to the end of the range not due) when the wait
  // was cancelled before the session opened. One fetch at a time; runs on
  // the calling thread.
  void RunFetch(int index);

  // The session's status callback; any thread.
  void OnInternetStatus(HttpHandle handle, std::uintptr_t context, int status,
                        std::uint64_t result);

  // Ends a sleeping fetch's wait so that a cancel is seen at once instead of
  // at the next completion notice. Any thread; call after the cancel flag is
  // set.
  void WakeForCancel();

  // FetchHost, for the steps of the running fetch.
  AsyncHttpSession* Session() override { return m_pSession.get(); }
  HttpHandle RecordedHandle(int slot) override;
  bool LastCompletionSucceeded(int slot) override;
  ProviderList& Providers() override { return m_providers; }
  Time Now() override;
  ControlFileContext MakeControlFileContext() override;

 private:
  struct TransferSlot {
    int provider_index = -1;  // -1: not used in this fetch
    std::unique_ptr<CProviderJob> job;
    int status = kStepFinished;
    HttpHandle recorded_handle = 0;
    // A completion notice arrived while the slot's step was running.
    bool completion_arrived = false;
    bool last_completion_ok = true;
  };

  bool MarkDueProviders(int first, int end, int index);
  bool Cancelled() const;
  void RunPasses(int first, int end);
  void StoreResult(TransferSlot& slot, int result);
  void EndFetch();

  ProviderList& m_providers;
  FetchEnvironment m_environment;
  std::unique_ptr<AsyncHttpSession> m_pSession;

  // Guards the slots, both flags and the cancel wake-up.
  std::mutex m_transferMutex;
  std::condition_variable m_wake;
  std::array<TransferSlot, kFetchSlotCount> m_slots;
  bool m_bNoProgress = false;     // nothing happened since the pass began
  bool m_bFetcherAsleep = false;  // the fetch thread waits for a notice
  bool m_bCancelWake = false;
};

}  // namespace gantrell
