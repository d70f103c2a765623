#include "net/key_refresh_step.h"

#include <string>

#include "model/built_in_providers.h"
#include "net/signature.h"

namespace gantrell {
namespace {

constexpr int kAuthorityEntries = 4;
// An authority entry whose stored record is shorter than this has no key.
constexpr int kMinAuthorityRecord = 3;

std::vector<std::uint8_t> CopyOf(const std::uint8_t* bytes, int count) {
  return std::vector<std::uint8_t>(bytes, bytes + count);
}

const std::uint8_t* DataOf(const std::vector<std::uint8_t>& record) {
  return record.data();
}

int SizeOf(const std::vector<std::uint8_t>& record) {
  return static_cast<int>(record.size());
}

}  // namespace

CKeyRefreshStep::CKeyRefreshStep(FetchHost& host, int slot, CProvider& provider)
    : m_host(host), m_provider(provider), m_transfer(host, slot) {}

int CKeyRefreshStep::Step() {
  switch (m_nStage) {
    case 0:
      // A new fetch of the provider: what explained the last one goes.
      m_provider.m_lastTransfer = {};
      m_provider.m_chainRecords.clear();
      m_transfer.SetUrl(m_provider.m_strAddress + "public.dat");
      m_nStage = 1;
      [[fallthrough]];
    case 1: {
      const int result = m_transfer.StepNoting(m_provider);
      if (result != kStepFinished)
        return result;
      return TakePublicRecord();
    }
    case 2: {
      const int result = m_transfer.StepNoting(m_provider);
      if (result != kStepFinished)
        return result;
      int count = 0;
      const std::uint8_t* data = m_transfer.GetData(&count);
      m_older = CopyOf(data, count);
      FetchLink(".sig");
      m_nStage = 3;
      [[fallthrough]];
    }
    case 3: {
      const int result = m_transfer.StepNoting(m_provider);
      if (result != kStepFinished)
        return result;
      return CheckLink();
    }
    default:
      return kStepFinished;
  }
}

int CKeyRefreshStep::TakePublicRecord() {
  int count = 0;
  const std::uint8_t* record = m_transfer.GetData(&count);
  m_nStage = 4;
  if (m_provider.m_pKeyData == nullptr) {
    if (!IsKeyRecord(record, count))
      return kStepFinished;  // nothing published and nothing stored
    // The first key a provider shows is taken on trust.
    m_provider.SetKeyData(record, count);
    m_provider.SetPublicKey(record, count);
    return kStepFinished;
  }
  if (MatchesStoredRecord(CopyOf(record, count)))
    return kStepFinished;
  if (!IsKeyRecord(record, count))
    return kPublicKeyNotAKey;
  m_candidate = CopyOf(record, count);
  m_newer = m_candidate;
  m_nLink = 1;
  FetchLink(".dat");
  m_nStage = 2;
  return kStepReady;
}

int CKeyRefreshStep::CheckLink() {
  int count = 0;
  const std::uint8_t* signature = m_transfer.GetData(&count);
  const bool holds =
      LinkSignedByOlderKey(signature, count) || LinkSignedByAuthority(signature, count);
  // The older key was only loaded to test this link; the provider goes back
  // to its stored key so that nothing else checks with an unproven one.
  RestoreStoredKey();
  m_nStage = 4;
  if (!holds)
    return kKeyChainBroken;
  m_proven.push_back(m_newer);
  if (MatchesStoredRecord(m_older)) {
    m_provider.m_chainRecords = std::move(m_proven);
    // The chain reached the stored key: the new key replaces it as the
    // stored record (saved with the store), so from now on only a chain
    // ending at this key is accepted and older links cannot be replayed to
    // put a superseded key back.
    m_provider.SetKeyData(DataOf(m_candidate), SizeOf(m_candidate));
    m_provider.SetPublicKey(DataOf(m_candidate), SizeOf(m_candidate));
    return kStepFinished;
  }
  if (++m_nLink > kMaxLinks)
    return kKeyChainTooLong;
  m_newer = std::move(m_older);
  m_older.clear();
  FetchLink(".dat");
  m_nStage = 2;
  return kStepReady;
}

bool CKeyRefreshStep::LinkSignedByOlderKey(const std::uint8_t* signature, int length) {
  // A record that is not a key would leave the provider's previous key in
  // place, and that key would then vouch for whatever this link claims.
  if (!IsKeyRecord(DataOf(m_older), SizeOf(m_older)))
    return false;
  m_provider.SetPublicKey(DataOf(m_older), SizeOf(m_older));
  m_provider.BeginDigest();
  m_provider.AddToDigest(DataOf(m_newer), SizeOf(m_newer));
  return m_provider.VerifySignature(signature, length);
}

bool CKeyRefreshStep::LinkSignedByAuthority(const std::uint8_t* signature, int length) {
  if (length < 4)
    return false;
  const int index = signature[3] - '0';
  ProviderList& providers = m_host.Providers();
  if (index < 0 || index >= kAuthorityEntries || index >= static_cast<int>(providers.size()))
    return false;
  // An entry the master has revoked vouches for nothing, even while it
  // still holds the key it had before the revocation was applied.
  if (IsRevokedBuiltInEntry(providers, index))
    return false;
  CProvider& authority = *providers[static_cast<std::size_t>(index)];
  if (authority.m_nKeyLength < kMinAuthorityRecord ||
      !IsKeyRecord(authority.m_pKeyData.get(), authority.m_nKeyLength)) {
    return false;
  }
  authority.SetPublicKey(authority.m_pKeyData.get(), authority.m_nKeyLength);
  authority.BeginDigest();
  authority.AddToDigest(DataOf(m_newer), SizeOf(m_newer));
  authority.AddToDigest(DataOf(m_older), SizeOf(m_older));
  return authority.VerifySignature(signature, length);
}

bool CKeyRefreshStep::MatchesStoredRecord(const Record& record) const {
  // A shorter record cannot equal the stored one; comparing past its end
  // would read memory it does not own.
  return SizeOf(record) >= m_provider.m_nKeyLength &&
         BytesEqual(DataOf(record), m_provider.m_pKeyData.get(), m_provider.m_nKeyLength);
}

void CKeyRefreshStep::RestoreStoredKey() {
  if (IsKeyRecord(m_provider.m_pKeyData.get(), m_provider.m_nKeyLength))
    m_provider.SetPublicKey(m_provider.m_pKeyData.get(), m_provider.m_nKeyLength);
  else
    m_provider.m_pPublicKey.reset();
}

void CKeyRefreshStep::FetchLink(const char* extension) {
  m_transfer.SetUrl(m_provider.m_strAddress + "oldpub" + std::to_string(m_nLink) + extension);
}

}  // namespace gantrell
