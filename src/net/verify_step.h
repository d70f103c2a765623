// Fetches a provider's control file and its signature, checks the signature
// with the provider's key, merges the verified file into the provider's
// groups and items, and checks the provider's key age: a key 45 days old or
// older needs a licence ("license.sig") by authority entry 1 or 2 over the
// provider's address.
#pragma once

#include <string>

#include "model/provider.h"
#include "net/binary_transfer.h"
#include "net/fetch_host.h"
#include "net/fetch_step.h"
#include "net/text_transfer.h"

namespace gantrell {

// Results besides the step statuses. 10 and 11 share their numbers with
// transfer failures; the provider's state tells them apart.
enum VerifyFailure : int {
  kControlNotVerified = 9,  // control.sig or the licence does not verify
  kKeyNotValid = 10,        // key made more than a day ahead, or licence by a wrong entry
  kLicensorMissing = 11,    // the entry named by the licence is missing, revoked or has no key
  // A verified control file dated before the last one accepted: refused
  // unmerged (m_timeRefusedListDate holds its date).
  kListOlder = 13,
};

class CVerifyStep : public CFetchStep {
 public:
  // A key younger than this needs no licence.
  static constexpr Time kLicenceFreeAge = 45 * kSecondsPerDay;

  // The provider is borrowed and must outlive the step.
  CVerifyStep(FetchHost& host, int slot, CProvider& provider);

  // Sets m_bTransferFlag once the control file verified and was parsed, and
  // sets m_bVerified only once everything the provider needs is proven: the
  // control file's signature and, for a key 45 days old or older, the
  // licence. A failure before the key checks (a transfer, control.sig)
  // leaves m_bVerified as it was; a key made more than a day ahead, or a
  // needed licence that cannot be fetched, names the wrong entry, names one
  // without a usable key or does not verify, clears it. An authority entry
  // (index 0 to 3) finishes at once with m_bVerified set, without fetching.
  //
  // A verified control file whose list date is earlier than the provider's
  // m_timeAcceptedListDate ends the step with kListOlder before anything is
  // merged: the provider keeps its tree, its schedule and m_bVerified. A
  // list that is merged raises m_timeAcceptedListDate to its date, or to
  // today's for a list dated ahead.
  int Step() override;

 private:
  bool IsAuthorityEntry() const;
  int CheckSignature();
  int CheckKeyAge();
  int CheckLicence();

  FetchHost& m_host;
  CProvider& m_provider;
  int m_nStage = 0;
  std::string m_strControlText;
  CTextTransfer m_textTransfer;
  CBinaryTransfer m_binaryTransfer;
};

}  // namespace gantrell
