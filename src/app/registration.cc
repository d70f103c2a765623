// Adding providers by address, and removing the ones the master entry
// revokes.
#include "app/address_check.h"
#include "app/client_app.h"
#include "app/hand_off.h"
#include "app/save_paths.h"
#include "model/built_in_providers.h"
#include "model/pruning.h"
#include "model/store_format.h"
#include "platform/catalogue.h"

namespace gantrell {

int CClientApp::RegisterProvider(const std::string& address) {
  for (const auto& provider : m_providers) {
    if (provider->m_strAddress == address) {
      // Handed over again: nothing is left to wait for.
      RemoveHandedOffAddress(m_profile, address, nullptr);
      return 1;
    }
  }

  if (address.size() > kStoredAddressLimit) {
    // The store would give it back cut short at the next start, and the
    // provider would then fetch from an address that is not its own.
    Message(Subst(Tr("Address %1 was not set up successfully: an address may have at most %2 "
                     "characters."),
                  {address, std::to_string(kStoredAddressLimit)}),
            MessageIcon::kInformation);
    RemoveHandedOffAddress(m_profile, address, nullptr);
    return 1;
  }

  // Downloads are filed under a folder named after the address, and
  // different addresses can give one name (http:// and https:// of one
  // site): the second provider would overwrite the first one's verified
  // files, and its removal delete them.
  const std::string folder = ProviderFolderName(address);
  for (const auto& provider : m_providers) {
    if (ProviderFolderName(provider->m_strAddress) != folder)
      continue;
    Message(Subst(Tr("Address %1 was not set up successfully: its files would share the download "
                     "folder %2 of the provider %3."),
                  {address, folder,
                   provider->m_strKeyName.empty()
                       ? provider->m_strAddress
                       : Subst(Tr("%1 (%2)"), {provider->m_strKeyName, provider->m_strAddress})}),
            MessageIcon::kInformation);
    RemoveHandedOffAddress(m_profile, address, nullptr);
    return 1;
  }

  m_providers.push_back(MakeNewProvider(address));
  const int count = GetProviderCount();

  StartWorkThread([this, count] { RegistrationThreadProc(count); });
  const int result = RunWaitDialog();
  // Cancelled: the provider stays (the thread has stopped by now).
  if (result == 2)
    return 2;

  const CProvider& added = *m_providers.back();
  std::string error;
  if (added.m_bListParsed == 1 && added.m_bVerified) {
    SaveChanges();
    Message(Subst(Tr("New Provider successfully set up: %1"), {added.m_strKeyName}),
            MessageIcon::kInformation);
    RemoveHandedOffAddress(m_profile, address, &error);
  } else {
    Message(Subst(Tr("Address %1 was not set up successfully."), {address}),
            MessageIcon::kInformation);
    RemoveHandedOffAddress(m_profile, address, &error);
    m_providers.pop_back();
  }
  return result;
}

void CClientApp::RegistrationThreadProc(int provider_count) {
  RunFetch(provider_count - 1);
  m_wait.SignalDone(false);
}

void CClientApp::ApplyRevocations() {
  if (GetProviderCount() < 2)
    return;
  const CProvider& master = *m_providers[0];
  // Removal looks only at what is on disk: it never asks for a download
  // folder or makes one.
  const DefaultSavePath save_path = [this](const CUpdateItem& item) {
    return ExistingItemSavePath(item);
  };
  for (int g = 0; g < master.GetGroupCount(); ++g) {
    const CUpdateGroup& group = *master.GetGroup(g);
    for (int i = 0; i < group.GetItemCount(); ++i) {
      const std::string& revoked = group.GetItem(i)->m_strName;
      for (std::size_t p = 1; p < m_providers.size(); ++p) {
        CProvider& provider = *m_providers[p];
        if (provider.m_strAddress != revoked)
          continue;
        if (p < static_cast<std::size_t>(kBuiltInProviderCount)) {
          // Built-in entries are known by their position, so a revoked one
          // stays in its place with its address and loses its key and its
          // groups. One stripped in an earlier run has nothing left to take
          // and is not reported again.
          const bool had_something = provider.m_pKeyData != nullptr || provider.HasPublicKey() ||
                                     provider.GetGroupCount() > 0;
          if (had_something) {
            // The missing blank is the message's own, which users know.
            Message(Subst(Tr("Provider %1removed by Gantrell."), {provider.m_strKeyName}),
                    MessageIcon::kInformation);
            RemoveDownloadedFiles(provider, save_path);
          }
          StripRevokedEntry(provider);
          break;
        }
        Message(Subst(Tr("Provider %1removed by Gantrell."), {provider.m_strKeyName}),
                MessageIcon::kInformation);
        RemoveDownloadedFiles(provider, save_path);
        m_providers.erase(m_providers.begin() + static_cast<std::ptrdiff_t>(p));
        break;
      }
    }
  }
}

void CClientApp::RegisterPendingProviders(std::string* pending) {
  static constexpr std::string_view kSeparator = " * ";
  for (std::size_t at; (at = pending->find(kSeparator)) != std::string::npos;) {
    const std::string address = pending->substr(0, at);
    pending->erase(0, at + kSeparator.size());
    // An empty address (a hand-off value already taken) registers nothing.
    if (!TrimmedAddress(address).empty())
      OfferProvider(address);
  }
  pending->clear();
}

OfferOutcome CClientApp::OfferProvider(const std::string& offered) {
  const std::string address(TrimmedAddress(offered));
  for (const auto& provider : m_providers) {
    if (provider->m_strAddress == address)
      return RegisterProvider(address) == 2 ? OfferOutcome::kCancelled : OfferOutcome::kRegistered;
  }
  if (const std::string problem = AddressProblem(address); !problem.empty()) {
    Message(Subst(Tr("Address %1 was not set up successfully: %2."), {address, problem}),
            MessageIcon::kInformation);
    RemoveHandedOffAddress(m_profile, address, nullptr);
    return OfferOutcome::kRefused;
  }
  // Only the address is known yet: the name the provider gives itself comes
  // from its own files, which anyone may write.
  const MessageAnswer answer =
      m_pFrontend == nullptr
          ? MessageAnswer::kUnanswered
          : m_pFrontend->ShowMessage(Subst(Tr("Subscribe to updates from %1?"), {address}),
                                     MessageIcon::kQuestion, MessageButtons::kYesNoOrLater);
  switch (answer) {
    case MessageAnswer::kYes:
      return RegisterProvider(address) == 2 ? OfferOutcome::kCancelled : OfferOutcome::kRegistered;
    case MessageAnswer::kUnanswered:
      // An address from a file argument is not in "newprov" yet.
      AddHandedOffAddresses(m_profile, address, nullptr);
      return OfferOutcome::kKept;
    case MessageAnswer::kNo:
    case MessageAnswer::kOk:
      break;
  }
  RemoveHandedOffAddress(m_profile, address, nullptr);
  return OfferOutcome::kDeclined;
}

}  // namespace gantrell
