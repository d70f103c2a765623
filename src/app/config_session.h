// What the "Customise Addon Selection" dialog does with the model, without
// a window: the provider drop-down, the group and item lists, the list of
// selected downloads, the texts, and every button. The windowed dialog
// shows this state and forwards clicks; the console's configuration
// commands call the same operations.
//
// While a session is open it owns the working copies in the model:
// CProvider::m_nScanModeEdit (kDeletedMark marks a provider deleted in this
// session), CUpdateGroup::m_bScanEdit, and CUpdateItem::m_bSelected edited
// in place with m_bSelectedSaved as the saved value. Commit() makes them
// live, RollBack() restores them. Providers added through AddProvider are
// real at once and stay after a roll back.
//
// Messages go through the application's frontend. Interface thread only;
// the fetch and the registration run behind the frontend's wait dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace gantrell {

class CClientApp;
class CProvider;
class CUpdateGroup;
class CUpdateItem;

// What the session asks of its surroundings besides the model. Each one
// left empty falls back to the application's own operation.
struct ConfigSessionHooks {
  // Runs the "New Provider" dialog; true with the accepted address on OK.
  // Empty: "Add Provider" does nothing.
  std::function<bool(std::string* address)> ask_provider_address;
  // CClientApp::RegisterProvider.
  std::function<int(const std::string& address)> register_provider;
  // CClientApp::FetchProvider.
  std::function<int(int index)> fetch_provider;
};

class CConfigSession {
 public:
  // The working scan state that marks a provider as deleted.
  static constexpr int kDeletedMark = 1000;

  explicit CConfigSession(CClientApp& app, ConfigSessionHooks hooks = {});

  CConfigSession(const CConfigSession&) = delete;
  CConfigSession& operator=(const CConfigSession&) = delete;

  // Takes the working copies, lists the verified providers from the
  // client's own on, fills the selected downloads and selects the initial
  // provider (the one at position N - 5 for N providers in the
  // application's list, the last one listed when fewer are listed).
  void Open();
  // OK: makes the working copies live, then removes the providers marked
  // deleted with their downloaded files.
  void Commit();
  // Cancel: restores the saved scan states and selections.
  void RollBack();

  // "Add Provider" and "Delete Provider" are offered (not under "-pr").
  bool provider_buttons_shown() const;

  // --- The provider drop-down and "Scan this provider for updates" ---
  const std::vector<CProvider*>& providers() const { return m_providers; }
  int provider_row() const { return m_nProviderRow; }
  CProvider* provider() const;
  // Selection change of the drop-down (-1: none).
  void SelectProvider(int row);
  // 0 unchecked, 1 checked, 2 mixed.
  int provider_scan() const { return m_nProviderScan; }
  // The key the selected provider's signatures are checked with: "Key:
  // Ed25519", "Key: RSA 2048 / SHA-1", "Key: none"; empty without a
  // selected provider.
  std::string provider_key_text() const;
  // A click on the three-state box that left it in `state`.
  void ClickProviderScan(int state);
  // The state a click moves the box to: unchecked, checked, mixed, again.
  static int NextScanState(int state) { return (state + 1) % 3; }

  // --- Groups and "Scan this group for updates" ---
  const std::vector<CUpdateGroup*>& groups() const { return m_groups; }
  int group_row() const { return m_nGroupRow; }
  CUpdateGroup* group() const;
  // Selection change of the groups list (-1: selection cancelled).
  void SelectGroup(int row);
  bool group_scan() const { return m_bGroupScan; }
  void ClickGroupScan(bool on);

  // --- Items of the group and their texts ---
  const std::vector<CUpdateItem*>& items() const { return m_items; }
  // The selected rows and the current one (whose texts show; -1 none).
  void SelectItems(const std::vector<int>& rows, int current);
  const std::vector<int>& item_rows() const { return m_itemRows; }
  int item_row() const { return m_nItemRow; }
  CUpdateItem* item() const;
  const std::string& description() const { return m_strDescription; }
  const std::string& size_text() const { return m_strSize; }
  const std::string& suitability() const { return m_strSuitability; }
  // The items "Customise save location" runs the save-location dialog for,
  // in the order it runs it: the selected rows from the last to the first.
  std::vector<CUpdateItem*> SaveLocationItems() const;

  // "Add to download once" for the current item of the items list.
  void AddToDownloadOnce();

  // --- "Currently selected downloads" ---
  const std::vector<CUpdateItem*>& downloads() const { return m_downloads; }
  // "Delete": removes the rows and takes the items out of the selection.
  void DeleteDownloads(const std::vector<int>& rows);

  // --- Providers ---
  void DeleteProvider();
  // Runs the new-provider dialog and registers what it accepts, together
  // with any address added while an earlier registration still waits.
  void AddProvider();
  bool adding_providers() const { return m_bAddingProviders; }
  const std::string& pending_providers() const { return m_strPendingProviders; }

 private:
  void FillDownloads();
  void ClearItemTexts();
  void ShowItemTexts();
  void ApplyProviderScan();
  bool Ask(const std::string& text);
  void Notice(const std::string& text);
  bool Suitable(const CUpdateItem& item) const;
  void TakeWorkingCopies(CProvider& provider);
  void RegisterPending();

  CClientApp& m_app;
  ConfigSessionHooks m_hooks;

  std::vector<CProvider*> m_providers;
  int m_nProviderRow = -1;
  int m_nProviderScan = 0;
  std::vector<CUpdateGroup*> m_groups;
  int m_nGroupRow = -1;
  bool m_bGroupScan = false;
  std::vector<CUpdateItem*> m_items;
  std::vector<int> m_itemRows;
  int m_nItemRow = -1;
  std::vector<CUpdateItem*> m_downloads;
  std::string m_strDescription;
  std::string m_strSize;
  std::string m_strSuitability;

  bool m_bAddingProviders = false;
  std::string m_strPendingProviders;
};

// A row of "Currently selected downloads": item name, " from ", provider
// name.
std::string DownloadRowText(const CUpdateItem& item);

}  // namespace gantrell
