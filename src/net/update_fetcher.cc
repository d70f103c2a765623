#include "net/update_fetcher.h"

#include <utility>

namespace gantrell {
namespace {

constexpr int kDue = 1;
constexpr int kNotDue = 3;
constexpr int kForced = 4;
constexpr Time kSecondsPerHour = 3600;

}  // namespace

CUpdateFetcher::CUpdateFetcher(ProviderList& providers, FetchEnvironment environment)
    : m_providers(providers), m_environment(std::move(environment)) {}

CUpdateFetcher::~CUpdateFetcher() {
  EndFetch();
}

Time CUpdateFetcher::Now() {
  return m_environment.now ? m_environment.now() : gantrell::Now();
}

ControlFileContext CUpdateFetcher::MakeControlFileContext() {
  if (m_environment.make_control_context)
    return m_environment.make_control_context();
  ControlFileContext context;
  context.now = Now();
  context.draw = [] { return 0; };
  return context;
}

HttpHandle CUpdateFetcher::RecordedHandle(int slot) {
  std::lock_guard<std::mutex> lock(m_transferMutex);
  return m_slots[static_cast<std::size_t>(slot)].recorded_handle;
}

bool CUpdateFetcher::LastCompletionSucceeded(int slot) {
  std::lock_guard<std::mutex> lock(m_transferMutex);
  return m_slots[static_cast<std::size_t>(slot)].last_completion_ok;
}

bool CUpdateFetcher::Cancelled() const {
  return m_environment.is_cancelled && m_environment.is_cancelled();
}

void CUpdateFetcher::WakeForCancel() {
  std::lock_guard<std::mutex> lock(m_transferMutex);
  m_bCancelWake = true;
  m_wake.notify_all();
}

void CUpdateFetcher::RunFetch(int index) {
  const int count = static_cast<int>(m_providers.size());
  if (index >= count)
    return;
  if (index < 0)
    index = -1;
  const int first = index >= 0 ? index : 0;
  const int end = index >= 0 ? index + 1 : count;
  if (!MarkDueProviders(first, end, index))
    return;

  // A cancel that came before anything was opened leaves every provider up
  // to the end of the range not due, so nothing counts as fetched.
  if (Cancelled()) {
    for (int i = 0; i < end; ++i)
      m_providers[static_cast<std::size_t>(i)]->m_nVerifyState = kNotDue;
    return;
  }

  std::string error;
  auto open = [&] {
    return m_environment.open_session ? m_environment.open_session(&error)
                                      : OpenAsyncHttpSession(HttpOptions{}, &error);
  };
  // The first open may meet a resolver or a network that is still waking.
  std::unique_ptr<AsyncHttpSession> session = open();
  if (session == nullptr)
    session = open();
  if (session == nullptr)
    return;  // the fetch ends silently; the providers keep their models

  {
    std::lock_guard<std::mutex> lock(m_transferMutex);
    for (TransferSlot& slot : m_slots) {
      slot.provider_index = -1;
      slot.job.reset();
      slot.status = kStepFinished;
      slot.recorded_handle = 0;
      slot.completion_arrived = false;
      slot.last_completion_ok = true;
    }
    m_bNoProgress = true;
    m_bFetcherAsleep = false;
    // m_bCancelWake is left alone: a cancel that arrived since the test
    // above must still end the first wait.
    m_pSession = std::move(session);
  }
  m_pSession->SetStatusCallback(
      [this](HttpHandle handle, std::uintptr_t context, int status, std::uint64_t result) {
        OnInternetStatus(handle, context, status, result);
      });

  RunPasses(first, end);
  EndFetch();
}

// Returns whether any provider of the range is due.
bool CUpdateFetcher::MarkDueProviders(int first, int end, int index) {
  const Time now = Now();
  bool any_due = false;
  for (int i = first; i < end; ++i) {
    CProvider& provider = *m_providers[static_cast<std::size_t>(i)];
    provider.m_bTransferFlag = false;
    if (provider.m_nVerifyState == kForced) {
      provider.m_nVerifyState = kDue;
    } else {
      // Whole hours, truncated toward zero: a check due within the hour
      // counts as due now.
      const Time hours = (now - provider.m_timeNextCheck) / kSecondsPerHour;
      provider.m_nVerifyState = index == -1 && hours < 0 ? kNotDue : kDue;
    }
    any_due = any_due || provider.m_nVerifyState == kDue;
  }
  return any_due;
}

void CUpdateFetcher::RunPasses(int first, int end) {
  int next = first;  // the first provider of the range always gets a job
  for (;;) {
    int idle = 0;
    {
      std::lock_guard<std::mutex> lock(m_transferMutex);
      m_bNoProgress = true;
    }
    for (int s = 0; s < kFetchSlotCount; ++s) {
      TransferSlot& slot = m_slots[static_cast<std::size_t>(s)];
      std::unique_lock<std::mutex> lock(m_transferMutex);
      if (slot.provider_index >= 0 && slot.status == kStepReady) {
        slot.completion_arrived = false;
        CProviderJob* job = slot.job.get();
        lock.unlock();
        const int result = job->Step();
        lock.lock();
        StoreResult(slot, result);
      } else if (slot.provider_index == -1 || slot.status == kStepFinished ||
                 slot.status > kStepReady) {
        if (next >= end) {
          ++idle;
          continue;
        }
        slot.provider_index = next;
        slot.status = kStepReady;
        slot.completion_arrived = false;
        std::unique_ptr<CProviderJob> old_job = std::move(slot.job);
        lock.unlock();
        // The old job closes whatever request it still holds.
        old_job.reset();
        auto job =
            std::make_unique<CProviderJob>(*this, s, *m_providers[static_cast<std::size_t>(next)]);
        const int result = job->Step();
        lock.lock();
        slot.job = std::move(job);
        StoreResult(slot, result);
        lock.unlock();
        do {
          ++next;
        } while (next < end && m_providers[static_cast<std::size_t>(next)]->m_nVerifyState != kDue);
      }
      // A waiting slot is left until its completion notice arrives.
    }
    if (idle == kFetchSlotCount)
      break;
    {
      std::unique_lock<std::mutex> lock(m_transferMutex);
      if (m_bNoProgress && !m_bCancelWake) {
        // The test and the wait share the lock with the status callback, so
        // a notice that arrives after the test still ends this wait.
        m_bFetcherAsleep = true;
        m_wake.wait(lock, [this] { return !m_bNoProgress || m_bCancelWake; });
        m_bNoProgress = true;
        m_bFetcherAsleep = false;
      }
      m_bCancelWake = false;
    }
    if (Cancelled())
      break;
  }
}

void CUpdateFetcher::StoreResult(TransferSlot& slot, int result) {
  m_bNoProgress = false;
  // A completion that arrived while the step ran is for the operation the
  // step just started: the slot must stay runnable or the notice is lost.
  if (result == kStepWaiting && slot.completion_arrived)
    result = kStepReady;
  slot.completion_arrived = false;
  slot.status = result;
}

void CUpdateFetcher::OnInternetStatus(HttpHandle handle, std::uintptr_t context, int status,
                                      std::uint64_t result) {
  if (context < kSlotContextBase || context >= kSlotContextBase + kFetchSlotCount)
    return;
  std::lock_guard<std::mutex> lock(m_transferMutex);
  TransferSlot& slot = m_slots[context - kSlotContextBase];
  switch (status) {
    case kHttpHandleCreated:
      slot.recorded_handle = handle;
      break;
    case kHttpRequestComplete:
      // The step itself finds out whether the operation failed; a slot left
      // finished here would abandon its provider in mid-fetch.
      m_bNoProgress = false;
      slot.last_completion_ok = result != 0;
      slot.completion_arrived = true;
      slot.status = kStepReady;
      if (m_bFetcherAsleep)
        m_wake.notify_one();
      break;
    case kHttpHandleClosing:
      // Closing notices come late; one for an earlier request of the slot
      // must not touch the state of the request now running in it.
      if (handle == slot.recorded_handle)
        slot.recorded_handle = 0;
      break;
    default:
      break;
  }
}

void CUpdateFetcher::EndFetch() {
  if (m_pSession == nullptr)
    return;
  // Jobs go first: their transfers close their requests on the live
  // session. Then no notice may arrive any more, and the session goes.
  std::array<std::unique_ptr<CProviderJob>, kFetchSlotCount> jobs;
  {
    std::lock_guard<std::mutex> lock(m_transferMutex);
    for (int s = 0; s < kFetchSlotCount; ++s)
      jobs[static_cast<std::size_t>(s)] = std::move(m_slots[static_cast<std::size_t>(s)].job);
  }
  for (auto& job : jobs)
    job.reset();
  m_pSession->SetStatusCallback({});
  std::unique_ptr<AsyncHttpSession> session;
  {
    std::lock_guard<std::mutex> lock(m_transferMutex);
    session = std::move(m_pSession);
  }
  session.reset();
}

}  // namespace gantrell
