// The work of one provider in one fetch: the key refresh, then (only when it
// succeeded) the control file's verification. Every result is also left in
// the provider's m_nFetchStatus.
#pragma once

#include <memory>

#include "model/provider.h"
#include "net/fetch_host.h"
#include "net/fetch_step.h"

namespace gantrell {

class CProviderJob : public CFetchStep {
 public:
  // The provider is borrowed and must outlive the job.
  CProviderJob(FetchHost& host, int slot, CProvider& provider);

  // A provider whose m_nVerifyState is 3 (not due) finishes at once with 0,
  // and so does a built-in entry the master has revoked, fetching nothing
  // and left unverified.
  int Step() override;

 private:
  bool IsRevoked() const;
  int Store(int result);

  FetchHost& m_host;
  int m_nSlot;
  CProvider& m_provider;
  int m_nStage = 0;
  std::unique_ptr<CFetchStep> m_pChild;
};

}  // namespace gantrell
