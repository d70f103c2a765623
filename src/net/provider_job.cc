#include "net/provider_job.h"

#include "model/built_in_providers.h"
#include "net/key_refresh_step.h"
#include "net/verify_step.h"

namespace gantrell {
namespace {

constexpr int kNotDue = 3;

bool StillRunning(int result) {
  return result == kStepWaiting || result == kStepReady;
}

}  // namespace

CProviderJob::CProviderJob(FetchHost& host, int slot, CProvider& provider)
    : m_host(host), m_nSlot(slot), m_provider(provider) {}

int CProviderJob::Step() {
  switch (m_nStage) {
    case 0:
      if (m_provider.m_nVerifyState == kNotDue)
        return Store(kStepFinished);
      if (IsRevoked()) {
        // A revoked built-in entry would otherwise take whatever key its
        // address shows next as a first key, on trust.
        m_provider.m_bVerified = false;
        m_nStage = 3;
        return Store(kStepFinished);
      }
      m_pChild = std::make_unique<CKeyRefreshStep>(m_host, m_nSlot, m_provider);
      m_nStage = 1;
      [[fallthrough]];
    case 1: {
      const int result = m_pChild->Step();
      if (StillRunning(result))
        return Store(result);
      m_pChild.reset();
      // A key that could not be refreshed stops the provider here: its
      // control file would be checked against the wrong key.
      if (result != kStepFinished) {
        m_nStage = 3;
        return Store(result);
      }
      m_pChild = std::make_unique<CVerifyStep>(m_host, m_nSlot, m_provider);
      m_nStage = 2;
      [[fallthrough]];
    }
    case 2: {
      const int result = m_pChild->Step();
      if (StillRunning(result))
        return Store(result);
      m_pChild.reset();
      m_nStage = 3;
      return Store(result);
    }
    default:
      return m_provider.m_nFetchStatus;
  }
}

bool CProviderJob::IsRevoked() const {
  const ProviderList& providers = m_host.Providers();
  for (int i = 1; i < kBuiltInProviderCount && i < static_cast<int>(providers.size()); ++i) {
    if (providers[static_cast<std::size_t>(i)].get() == &m_provider)
      return IsRevokedBuiltInEntry(providers, i);
  }
  return false;
}

int CProviderJob::Store(int result) {
  m_provider.m_nFetchStatus = result;
  return result;
}

}  // namespace gantrell
