// Makes sure a provider's public key is current before its control file is
// checked. The provider publishes its key record as "public.dat". The first
// key it ever shows is taken on trust and stored; a later, different key is
// accepted only through a chain of older records "oldpub1.dat" ..
// "oldpub9.dat", newest first, that ends at the stored record. Link N's
// "oldpubN.sig" proves the record before it (the newer one, A) with the
// older record B: signed by B's key over A, or else by the authority entry
// named in the signature's byte 3 over A followed by B.
#pragma once

#include <cstdint>
#include <vector>

#include "model/provider.h"
#include "net/binary_transfer.h"
#include "net/fetch_host.h"
#include "net/fetch_step.h"

namespace gantrell {

// Results besides the step statuses and transfer failures.
enum KeyRefreshFailure : int {
  kKeyChainBroken = 5,    // a link's signature holds neither way
  kKeyChainTooLong = 6,   // nine links without reaching the stored record
  kPublicKeyNotAKey = 7,  // "public.dat" differs and is not a key record
};

class CKeyRefreshStep : public CFetchStep {
 public:
  static constexpr int kMaxLinks = 9;

  // The provider is borrowed and must outlive the step.
  CKeyRefreshStep(FetchHost& host, int slot, CProvider& provider);

  // kStepFinished when the key is stored for the first time, unchanged,
  // absent on both sides, or a new key was accepted (it then becomes the
  // stored record as well as the key the provider verifies with, so only
  // keys newer than it can follow). Between calls and after every failure
  // the provider holds the key of its stored record, never one the walk is
  // still testing. A link naming an authority entry the master has revoked
  // holds only with the older key.
  int Step() override;

 private:
  using Record = std::vector<std::uint8_t>;

  int TakePublicRecord();
  int CheckLink();
  bool LinkSignedByOlderKey(const std::uint8_t* signature, int length);
  bool LinkSignedByAuthority(const std::uint8_t* signature, int length);
  bool MatchesStoredRecord(const Record& record) const;
  void RestoreStoredKey();
  void FetchLink(const char* extension);

  FetchHost& m_host;
  CProvider& m_provider;
  int m_nStage = 0;
  int m_nLink = 0;
  CBinaryTransfer m_transfer;
  Record m_older;      // B: oldpubN.dat
  Record m_newer;      // A: the record link N proves
  Record m_candidate;  // C: the downloaded public.dat
  // The records links proved so far, newest first; they count as reached
  // once the walk ends at the stored record.
  std::vector<Record> m_proven;
};

}  // namespace gantrell
