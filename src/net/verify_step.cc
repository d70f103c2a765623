#include "net/verify_step.h"

#include <algorithm>

#include "model/built_in_providers.h"

namespace gantrell {
namespace {

constexpr int kAuthorityEntries = 4;
// The licence names its signer in byte 3: only these entries may license.
constexpr int kFirstLicensor = 1;
constexpr int kLastLicensor = 2;

}  // namespace

CVerifyStep::CVerifyStep(FetchHost& host, int slot, CProvider& provider)
    : m_host(host),
      m_provider(provider),
      m_textTransfer(host, slot),
      m_binaryTransfer(host, slot) {}

int CVerifyStep::Step() {
  switch (m_nStage) {
    case 0:
      // Authority entries publish keys only, no control file: their key
      // refresh, which has just succeeded, is all there is to prove.
      if (IsAuthorityEntry()) {
        m_provider.m_bVerified = true;
        return kStepFinished;
      }
      // Nothing is granted before it is proven: a fetch that fails before
      // the key checks leaves m_bVerified as the last fetch left it.
      m_provider.m_timeRefusedListDate = 0;
      m_textTransfer.SetUrl(m_provider.m_strAddress + "control.txt");
      m_nStage = 1;
      [[fallthrough]];
    case 1: {
      const int result = m_textTransfer.StepNoting(m_provider);
      if (result != kStepFinished)
        return result;
      m_strControlText = std::move(m_textTransfer.GetText());
      m_binaryTransfer.SetUrl(m_provider.m_strAddress + "control.sig");
      m_nStage = 2;
      [[fallthrough]];
    }
    case 2: {
      const int result = m_binaryTransfer.StepNoting(m_provider);
      if (result != kStepFinished)
        return result;
      const int checked = CheckSignature();
      if (checked != kStepFinished)
        return checked;
      m_nStage = 3;
      [[fallthrough]];
    }
    case 3: {
      const int checked = CheckKeyAge();
      if (checked != kStepReady)
        return checked;
      m_nStage = 4;
      [[fallthrough]];
    }
    case 4: {
      const int result = m_binaryTransfer.StepNoting(m_provider);
      if (result == kStepWaiting || result == kStepReady)
        return result;
      m_nStage = 5;
      if (result != kStepFinished) {
        // A licence that is needed but cannot be had proves nothing.
        m_provider.m_bVerified = false;
        return result;
      }
      return CheckLicence();
    }
    default:
      return kStepFinished;
  }
}

bool CVerifyStep::IsAuthorityEntry() const {
  const ProviderList& providers = m_host.Providers();
  for (int i = 0; i < kAuthorityEntries && i < static_cast<int>(providers.size()); ++i) {
    if (providers[static_cast<std::size_t>(i)].get() == &m_provider)
      return true;
  }
  return false;
}

int CVerifyStep::CheckSignature() {
  int count = 0;
  const std::uint8_t* signature = m_binaryTransfer.GetData(&count);
  m_provider.BeginDigest();
  m_provider.AddToDigest(m_strControlText);
  if (!m_provider.VerifySignature(signature, count)) {
    m_nStage = 5;
    return kControlNotVerified;
  }
  // An old list, validly signed, replayed by whoever stands between the
  // provider and the client would bring back the items it listed then: it
  // is refused before anything of it is merged. A list of the same date is
  // taken, since a provider may publish twice in a day.
  Time list_date = 0;
  const bool dated = ReadControlListDate(m_strControlText, &list_date);
  if (dated && list_date < m_provider.m_timeAcceptedListDate) {
    m_provider.m_timeRefusedListDate = list_date;
    m_strControlText.clear();
    m_nStage = 5;
    return kListOlder;
  }
  // The parse empties the text; a file that fails to parse keeps what was
  // merged before the failure, and the key checks still follow.
  m_provider.ParseControlFile(m_strControlText, m_host.MakeControlFileContext());
  // A list may be dated ahead to put the next check off; it is remembered
  // as today's, so that a list the provider publishes before that day is
  // still taken.
  if (dated) {
    int day = 0, month = 0, year = 0;
    Time today = list_date;
    if (LocalDate(m_host.Now(), &day, &month, &year))
      LocalNoon(day, month, year, &today);
    const Time seen = std::min(list_date, today);
    if (seen > m_provider.m_timeAcceptedListDate)
      m_provider.m_timeAcceptedListDate = seen;
  }
  m_provider.m_bTransferFlag = true;
  return kStepFinished;
}

// kStepFinished when the key needs no licence, kStepReady when the licence
// is to be fetched, else a failure.
int CVerifyStep::CheckKeyAge() {
  const Time now = m_host.Now();
  if (now + kSecondsPerDay < m_provider.m_timeKeyMade) {
    m_provider.m_bVerified = false;
    m_nStage = 5;
    return kKeyNotValid;
  }
  if (now - m_provider.m_timeKeyMade < kLicenceFreeAge) {
    m_provider.m_bVerified = true;
    m_nStage = 5;
    return kStepFinished;
  }
  m_binaryTransfer.SetUrl(m_provider.m_strAddress + "license.sig");
  return kStepReady;
}

int CVerifyStep::CheckLicence() {
  int count = 0;
  const std::uint8_t* licence = m_binaryTransfer.GetData(&count);
  // A record too short to name its signer names none.
  const int index = count >= 4 ? licence[3] - '0' : -1;
  if (index < kFirstLicensor || index > kLastLicensor) {
    m_provider.m_bVerified = false;
    return kKeyNotValid;
  }
  ProviderList& providers = m_host.Providers();
  // A licence from an entry the master has revoked, or from one without a
  // key, cannot be checked, so the licence is not proven.
  if (index >= static_cast<int>(providers.size()) ||
      !providers[static_cast<std::size_t>(index)]->HasPublicKey() ||
      IsRevokedBuiltInEntry(providers, index)) {
    m_provider.m_bVerified = false;
    return kLicensorMissing;
  }
  CProvider& licensor = *providers[static_cast<std::size_t>(index)];
  licensor.BeginDigest();
  licensor.AddToDigest(m_provider.m_strAddress);
  if (!licensor.VerifySignature(licence, count)) {
    m_provider.m_bVerified = false;
    return kControlNotVerified;
  }
  m_provider.m_bVerified = true;
  return kStepFinished;
}

}  // namespace gantrell
