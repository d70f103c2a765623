#include "app/config_session.h"

#include <algorithm>

#include "app/client_app.h"
#include "model/built_in_providers.h"
#include "model/pruning.h"
#include "model/size_text.h"
#include "net/signature.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

// The first entry the dialog lists: the client's own update provider.
constexpr int kOwnProvider = kBuiltInProviderCount - 1;
constexpr std::string_view kSeparator = " * ";

bool Contains(const std::vector<CUpdateItem*>& items, const CUpdateItem* item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

}  // namespace

std::string DownloadRowText(const CUpdateItem& item) {
  return Subst(Tr("%1 from %2"), {item.m_strName, item.m_pGroup->m_pProvider->m_strKeyName});
}

CConfigSession::CConfigSession(CClientApp& app, ConfigSessionHooks hooks)
    : m_app(app), m_hooks(std::move(hooks)) {
  if (!m_hooks.register_provider)
    m_hooks.register_provider = [this](const std::string& a) { return m_app.RegisterProvider(a); };
  if (!m_hooks.fetch_provider)
    m_hooks.fetch_provider = [this](int index) { return m_app.FetchProvider(index); };
}

bool CConfigSession::provider_buttons_shown() const {
  return !m_app.m_bLockProviders;
}

CProvider* CConfigSession::provider() const {
  return m_nProviderRow >= 0 && m_nProviderRow < static_cast<int>(m_providers.size())
             ? m_providers[m_nProviderRow]
             : nullptr;
}

std::string CConfigSession::provider_key_text() const {
  const CProvider* selected = provider();
  if (selected == nullptr)
    return {};
  const std::string key = KeyDescription(selected->PublicKeyKind(), selected->PublicKeyBits());
  return Subst(Tr("Key: %1"), {key.empty() ? Tr("none") : key});
}

CUpdateGroup* CConfigSession::group() const {
  return m_nGroupRow >= 0 && m_nGroupRow < static_cast<int>(m_groups.size()) ? m_groups[m_nGroupRow]
                                                                             : nullptr;
}

CUpdateItem* CConfigSession::item() const {
  return m_nItemRow >= 0 && m_nItemRow < static_cast<int>(m_items.size()) ? m_items[m_nItemRow]
                                                                          : nullptr;
}

// Every provider from the client's own on gets its copies, listed or not,
// so that Commit and RollBack never copy values that were not taken.
void CConfigSession::TakeWorkingCopies(CProvider& provider) {
  provider.m_nScanModeEdit = provider.m_nScanMode;
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    CUpdateGroup& group = *provider.GetGroup(g);
    group.m_bScanEdit = group.m_bScan;
    for (int i = 0; i < group.GetItemCount(); ++i)
      group.GetItem(i)->m_bSelectedSaved = group.GetItem(i)->m_bSelected;
  }
}

void CConfigSession::Open() {
  m_providers.clear();
  for (int p = kOwnProvider; p < m_app.GetProviderCount(); ++p) {
    CProvider& provider = *m_app.GetProvider(p);
    TakeWorkingCopies(provider);
    if (provider.m_bVerified)
      m_providers.push_back(&provider);
  }
  FillDownloads();
  int row = m_app.GetProviderCount() - kBuiltInProviderCount;
  // Unverified providers are not listed, so N - 5 may lie past the end.
  row = std::min(row, static_cast<int>(m_providers.size()) - 1);
  SelectProvider(row);
}

void CConfigSession::FillDownloads() {
  m_downloads.clear();
  for (CProvider* provider : m_providers) {
    if (provider->m_nScanModeEdit == kDeletedMark)
      continue;
    for (int g = 0; g < provider->GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider->GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        if (group.GetItem(i)->m_bSelected)
          m_downloads.push_back(group.GetItem(i));
      }
    }
  }
}

void CConfigSession::ClearItemTexts() {
  m_strDescription.clear();
  m_strSize.clear();
  m_strSuitability.clear();
}

bool CConfigSession::Suitable(const CUpdateItem& item) const {
  return item.m_pCondition == nullptr || item.m_pCondition->Evaluate(m_app.conditions());
}

void CConfigSession::SelectProvider(int row) {
  m_nProviderRow = row >= 0 && row < static_cast<int>(m_providers.size()) ? row : -1;
  CProvider* selected = provider();
  if (selected == nullptr)
    return;
  m_groups.clear();
  m_nGroupRow = -1;
  m_items.clear();
  m_itemRows.clear();
  m_nItemRow = -1;
  ClearItemTexts();
  int scanning = 0;
  for (int g = 0; g < selected->GetGroupCount(); ++g) {
    m_groups.push_back(selected->GetGroup(g));
    if (selected->GetGroup(g)->m_bScanEdit)
      ++scanning;
  }
  // A provider without groups keeps its own state: looking at it must not
  // switch it off for the groups it publishes later.
  if (m_groups.empty())
    m_nProviderScan = std::clamp(selected->m_nScanModeEdit, 0, 2);
  else
    m_nProviderScan = scanning == 0 ? 0 : scanning == static_cast<int>(m_groups.size()) ? 1 : 2;
  ApplyProviderScan();
}

void CConfigSession::ClickProviderScan(int state) {
  m_nProviderScan = std::clamp(state, 0, 2);
  ApplyProviderScan();
}

void CConfigSession::ApplyProviderScan() {
  CProvider* selected = provider();
  if (selected == nullptr)
    return;
  selected->m_nScanModeEdit = m_nProviderScan;
  if (m_nProviderScan == 2)
    return;
  for (int g = 0; g < selected->GetGroupCount(); ++g) {
    CUpdateGroup& group = *selected->GetGroup(g);
    group.m_bScanEdit = m_nProviderScan;
    for (int i = 0; i < group.GetItemCount(); ++i) {
      CUpdateItem& item = *group.GetItem(i);
      item.m_bSelected = m_nProviderScan == 1 && m_app.IsItemPending(item);
    }
  }
  m_bGroupScan = m_nProviderScan == 1;
  FillDownloads();
}

void CConfigSession::SelectGroup(int row) {
  m_items.clear();
  m_itemRows.clear();
  m_nItemRow = -1;
  ClearItemTexts();
  m_nGroupRow = row >= 0 && row < static_cast<int>(m_groups.size()) ? row : -1;
  CUpdateGroup* selected = group();
  if (selected == nullptr) {
    m_bGroupScan = false;
    return;
  }
  for (int i = 0; i < selected->GetItemCount(); ++i) {
    if (selected->GetItem(i)->m_nOffered == 1)
      m_items.push_back(selected->GetItem(i));
  }
  m_bGroupScan = selected->m_bScanEdit != 0;
}

void CConfigSession::ClickGroupScan(bool on) {
  m_bGroupScan = on;
  CUpdateGroup* selected = group();
  if (selected == nullptr || provider() == nullptr)
    return;
  std::erase_if(m_downloads, [&](const CUpdateItem* item) { return item->m_pGroup == selected; });
  selected->m_bScanEdit = on ? 1 : 0;
  // A group switched off keeps none of its items chosen: a chosen item
  // would still be listed by the main window after OK and downloaded,
  // though no row here shows it.
  for (int i = 0; i < selected->GetItemCount(); ++i) {
    CUpdateItem* item = selected->GetItem(i);
    item->m_bSelected = selected->m_bScanEdit == 1 && m_app.IsItemPending(*item);
    if (item->m_bSelected)
      m_downloads.push_back(item);
  }
  m_nProviderScan = 2;
}

void CConfigSession::SelectItems(const std::vector<int>& rows, int current) {
  m_itemRows.clear();
  for (int row : rows) {
    if (row >= 0 && row < static_cast<int>(m_items.size()))
      m_itemRows.push_back(row);
  }
  std::sort(m_itemRows.begin(), m_itemRows.end());
  m_itemRows.erase(std::unique(m_itemRows.begin(), m_itemRows.end()), m_itemRows.end());
  m_nItemRow = current >= 0 && current < static_cast<int>(m_items.size()) ? current : -1;
  ShowItemTexts();
}

void CConfigSession::ShowItemTexts() {
  ClearItemTexts();
  const CUpdateItem* current = item();
  if (current == nullptr)
    return;
  m_strDescription = current->m_strDescription;
  m_strSize = FormatSizeText(current->m_nLength);
  if (!Suitable(*current))
    m_strSuitability = Tr("Item is unsuitable for this machine");
}

std::vector<CUpdateItem*> CConfigSession::SaveLocationItems() const {
  std::vector<CUpdateItem*> items;
  for (auto row = m_itemRows.rbegin(); row != m_itemRows.rend(); ++row)
    items.push_back(m_items[*row]);
  return items;
}

bool CConfigSession::Ask(const std::string& text) {
  Frontend* frontend = m_app.frontend();
  return frontend != nullptr &&
         frontend->ShowMessage(text, MessageIcon::kQuestion, MessageButtons::kYesNo) ==
             MessageAnswer::kYes;
}

void CConfigSession::Notice(const std::string& text) {
  m_app.Message(text, MessageIcon::kInformation);
}

void CConfigSession::AddToDownloadOnce() {
  CUpdateItem* chosen = item();
  CProvider* selected = provider();
  if (chosen == nullptr || selected == nullptr)
    return;
  if (!Suitable(*chosen) &&
      !Ask(Tr("This item is unsuitable for this machine.\n Do you really want to download it?"))) {
    return;
  }

  if (!selected->m_bTransferFlag) {
    // The fetch may prune groups and items, so the item is found again by
    // its group's and its own name rather than kept by its address.
    const std::string group_name = chosen->m_pGroup->m_strName;
    const std::string item_name = chosen->m_strName;
    chosen = nullptr;
    for (int p = 0; p < m_app.GetProviderCount(); ++p) {
      if (m_app.GetProvider(p) == selected) {
        m_hooks.fetch_provider(p);
        break;
      }
    }
    if (!selected->m_bTransferFlag) {
      Notice(Tr("This provider's site is currently unavailable"));
      return;
    }
    if (CUpdateGroup* group = selected->FindGroup(group_name))
      chosen = group->FindItem(item_name);
    for (int g = 0; chosen == nullptr && g < selected->GetGroupCount(); ++g)
      chosen = selected->GetGroup(g)->FindItem(item_name);
    SelectProvider(m_nProviderRow);
    if (chosen == nullptr) {
      Notice(Subst(Tr("This download (%1) is no longer available."), {item_name}));
      FillDownloads();
      return;
    }
  }

  if (chosen->m_nFileStamp == chosen->m_nStamp &&
      !Ask(Subst(Tr("The Item: %1 appears to be up to date.\n Do you really want to download it?"),
                 {chosen->m_strName}))) {
    FillDownloads();
    return;
  }
  chosen->m_bSelected = true;
  FillDownloads();
  if (!Contains(m_downloads, chosen))
    m_downloads.push_back(chosen);
}

void CConfigSession::DeleteDownloads(const std::vector<int>& rows) {
  std::vector<int> sorted = rows;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  for (auto row = sorted.rbegin(); row != sorted.rend(); ++row) {
    if (*row < 0 || *row >= static_cast<int>(m_downloads.size()))
      continue;
    // A row taken off the list must not be downloaded anyway; Cancel still
    // brings the saved selection back.
    m_downloads[*row]->m_bSelected = false;
    m_downloads.erase(m_downloads.begin() + *row);
  }
}

void CConfigSession::DeleteProvider() {
  CProvider* selected = provider();
  if (selected == nullptr)
    return;
  // The client's own provider is refused by what it is, not by its row: it
  // is not listed while unverified, and the first row is then a user's.
  if (selected == m_app.GetProvider(kOwnProvider)) {
    Notice(Tr("This provider cannot be deleted."));
    return;
  }
  if (!Ask(Subst(
          Tr("This will permenantly remove the provider \n\"%1\" from your update list. \n Do "
             "you really want to remove this provider?"),
          {selected->m_strKeyName}))) {
    return;
  }
  selected->m_nScanModeEdit = kDeletedMark;
  m_providers.erase(m_providers.begin() + m_nProviderRow);
  m_nProviderRow = -1;
  m_groups.clear();
  m_nGroupRow = -1;
  m_items.clear();
  m_itemRows.clear();
  m_nItemRow = -1;
  m_bGroupScan = false;
  FillDownloads();
  ClearItemTexts();
}

void CConfigSession::AddProvider() {
  std::string address;
  if (!m_hooks.ask_provider_address || !m_hooks.ask_provider_address(&address))
    return;
  m_strPendingProviders += address + std::string(kSeparator);
  if (!m_bAddingProviders)
    RegisterPending();
}

void CConfigSession::RegisterPending() {
  m_bAddingProviders = true;
  for (std::size_t at; (at = m_strPendingProviders.find(kSeparator)) != std::string::npos;) {
    const std::string address = m_strPendingProviders.substr(0, at);
    m_strPendingProviders.erase(0, at + kSeparator.size());
    const int count = m_app.GetProviderCount();
    m_hooks.register_provider(address);
    if (m_app.GetProviderCount() <= count)
      continue;
    CProvider& added = *m_app.GetProvider(m_app.GetProviderCount() - 1);
    // Every provider added gets its working copies, listed or not: Commit
    // copies them back, and a provider without them would be switched off.
    TakeWorkingCopies(added);
    // A cancelled registration leaves its provider unverified in the list;
    // it is not offered here until a fetch verifies it.
    if (!added.m_bVerified)
      continue;
    m_providers.push_back(&added);
    for (int g = 0; g < added.GetGroupCount(); ++g) {
      CUpdateGroup& group = *added.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        CUpdateItem& item = *group.GetItem(i);
        // An unsuitable item is neither shown nor chosen: chosen unseen, it
        // would reach the main window without the "unsuitable" question.
        item.m_bSelected = Suitable(item);
        if (item.m_bSelected)
          m_downloads.push_back(&item);
      }
    }
  }
  m_bAddingProviders = false;
  m_strPendingProviders.clear();
}

void CConfigSession::Commit() {
  for (int p = kOwnProvider; p < m_app.GetProviderCount(); ++p) {
    CProvider& provider = *m_app.GetProvider(p);
    provider.m_nScanMode = provider.m_nScanModeEdit;
    for (int g = 0; g < provider.GetGroupCount(); ++g)
      provider.GetGroup(g)->m_bScan = provider.GetGroup(g)->m_bScanEdit;
  }
  // Removal looks only at what is on disk: it never asks for a download
  // folder or makes one.
  const DefaultSavePath save_path = [this](const CUpdateItem& item) {
    return m_app.ExistingItemSavePath(item);
  };
  for (int p = m_app.GetProviderCount() - 1; p >= kOwnProvider; --p) {
    CProvider& provider = *m_app.GetProvider(p);
    if (provider.m_nScanMode != kDeletedMark)
      continue;
    RemoveDownloadedFiles(provider, save_path);
    m_app.m_providers.erase(m_app.m_providers.begin() + p);
  }
  // The deleted providers' files are gone: a store that still listed them
  // after a crash would bring them back without their files.
  m_app.SaveChanges();
  m_providers.clear();
  m_groups.clear();
  m_items.clear();
  m_downloads.clear();
  m_nProviderRow = m_nGroupRow = m_nItemRow = -1;
}

void CConfigSession::RollBack() {
  for (int p = kOwnProvider; p < m_app.GetProviderCount(); ++p) {
    CProvider& provider = *m_app.GetProvider(p);
    provider.m_nScanModeEdit = provider.m_nScanMode;
    if (provider.m_nScanMode == kDeletedMark)
      continue;
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      CUpdateGroup& group = *provider.GetGroup(g);
      group.m_bScanEdit = group.m_bScan;
      for (int i = 0; i < group.GetItemCount(); ++i)
        group.GetItem(i)->m_bSelected = group.GetItem(i)->m_bSelectedSaved;
    }
  }
  m_providers.clear();
  m_groups.clear();
  m_items.clear();
  m_downloads.clear();
  m_nProviderRow = m_nGroupRow = m_nItemRow = -1;
}

}  // namespace gantrell
