// An update provider: a web address, its public key, its schedule and the
// groups of items its control file publishes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/control_file.h"
#include "model/local_time.h"
#include "model/update_group.h"
#include "net/crypto_handles.h"
#include "platform/http.h"

namespace gantrell {

class CTokenReader;

// What one transfer of a fetch saw: the address, the final response's HTTP
// status (0 when none came) and a failure below HTTP.
struct TransferOutcome {
  std::string url;
  HttpOutcome http;
  // A transport failure, or an answer that is an HTTP error page rather
  // than the file asked for.
  bool Failed() const { return http.failure != HttpFailure::kNone || http.status >= 400; }
};

class CProvider {
 public:
  CProvider() = default;
  ~CProvider();

  CProvider(const CProvider&) = delete;
  CProvider& operator=(const CProvider&) = delete;

  int GetGroupCount() const { return static_cast<int>(m_groups.size()); }
  // The group at `index`, or none outside 0 .. count-1.
  CUpdateGroup* GetGroup(int index) const;
  // The group named exactly `name`, or none.
  CUpdateGroup* FindGroup(const std::string& name) const;
  // Appends a new group owned by this provider and returns it.
  CUpdateGroup* AddGroup();
  // Deletes the group at `index` with its items.
  void RemoveGroup(int index);

  // Replaces the stored key record (m_pKeyData, m_nKeyLength). The decoded
  // key is not touched; SetPublicKey decodes.
  void SetKeyData(const std::uint8_t* bytes, int length);
  void ClearKeyData();

  // Signature checks (signature.cc). The order for one check is
  // BeginDigest, AddToDigest once or more, then VerifySignature, which
  // consumes the digest. One thread at a time per provider.
  //
  // Decodes a "PUBLKEY" key record (an RSA or an Ed25519 key) into
  // m_pPublicKey. A record that does not start with "PUBLKEY" changes
  // nothing; one that does but does not decode leaves the provider without
  // a usable key.
  void SetPublicKey(const std::uint8_t* record, int length);
  // Starts the digest the current key's signatures are made over: SHA-512
  // for an Ed25519 key, SHA-1 otherwise. A digest started for one kind of
  // key verifies nothing with another.
  void BeginDigest();
  void AddToDigest(const std::uint8_t* bytes, int count);
  void AddToDigest(std::string_view text);
  // True only when the "SIG" record's signature matches the digest under the
  // provider's key. Consumes the digest unless the record is not "SIG" or
  // the provider has no key.
  bool VerifySignature(const std::uint8_t* record, int length);
  void ReleaseCrypto();
  bool HasPublicKey() const { return m_pPublicKey != nullptr; }
  // The kind of the decoded key (kNone without one) and its size in bits:
  // the RSA modulus, 256 for Ed25519, 0 without a key.
  KeyKind PublicKeyKind() const;
  int PublicKeyBits() const;

  // Merges the provider's verified control file into its groups and items
  // and schedules the next check (control_file.cc). Returns false when the
  // text ends early or misses a keyword; what was merged before stays and
  // the next check is left alone. Sets m_bListComplete to the result. The
  // text is emptied in both cases.
  bool ParseControlFile(std::string& text, const ControlFileContext& context);
  bool ParseControlHeader(CTokenReader& reader);
  bool ParseGroups(CTokenReader& reader, const ControlFileContext& context);
  bool ParseGroupItems(CUpdateGroup* group, CTokenReader& reader,
                       const ControlFileContext& context);

  std::int32_t m_nFetchStatus = 0;  // last fetch result; not stored
  // The transfer that explains this run's fetch of the provider: the first
  // one that failed, else the last one. Empty when nothing was fetched.
  // Kept beside m_nFetchStatus so that a failure can say why; not stored.
  TransferOutcome m_lastTransfer;
  void NoteTransfer(const TransferOutcome& outcome) {
    if (!m_lastTransfer.Failed())
      m_lastTransfer = outcome;
  }
  // The key records this run's key refresh reached from the stored record
  // through signed links, newest (the new public.dat) first; empty when it
  // found the key unchanged, took a first key or failed. Not stored.
  std::vector<std::vector<std::uint8_t>> m_chainRecords;
  std::string m_strKeyName;
  std::string m_strAddress;
  std::unique_ptr<std::uint8_t[]> m_pKeyData;  // the key record as stored
  std::int32_t m_nKeyLength = 0;
  std::int32_t m_nCheckInterval = 0;  // days between checks
  std::int32_t m_nKeyId = 0;
  std::int32_t m_bListParsed = 0;  // control file header parsed in this run
  // The latest control file of this run parsed to its final END; only then
  // does what it leaves out say what the provider no longer publishes, so
  // only then may pruning drop anything. Not stored.
  std::int32_t m_bListComplete = 0;
  Time m_timeListDate = 0;
  // The list date of the last control file accepted, kept beside the store
  // (list_state.h); 0 none. A verified control file dated earlier is
  // refused unmerged, so an old list replayed cannot bring old items back.
  Time m_timeAcceptedListDate = 0;
  // This run's fetch refused a control file dated this (earlier than
  // m_timeAcceptedListDate); 0 none. Not stored.
  Time m_timeRefusedListDate = 0;
  Time m_timeKeyMade = 0;
  PublicKeyPtr m_pPublicKey;
  DigestPtr m_pDigest;
  Time m_timeBaseline = 0;
  Time m_timeNextCheck = 0;
  std::int32_t m_nScanMode = 0;  // 0 off, 1 on, 2 mixed
  std::int32_t m_nScanModeEdit = 0;
  bool m_bTransferFlag = false;
  bool m_bVerified = false;
  std::int32_t m_nVerifyState = 3;
  std::vector<std::unique_ptr<CUpdateGroup>> m_groups;
};

// True when either buffer is missing, else when their first `n` bytes are
// equal. Lengths are not compared.
bool BytesEqual(const std::uint8_t* a, const std::uint8_t* b, int n);

}  // namespace gantrell
