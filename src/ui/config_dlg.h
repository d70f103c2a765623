// "Customise Addon Selection": the provider drop-down with its three-state
// "Scan this provider for updates", the provider's groups with "Scan this
// group for updates", the group's items with "Add to download once" and
// "Customise save location", the "Currently selected downloads" with
// "Delete", "Add Provider" and "Delete Provider" (hidden under "-pr"), and
// the selected item's description, size and suitability.
//
// What the controls do lives in app/config_session.h; this class shows the
// session's state and forwards each click. OK commits the working copies
// (and removes the providers deleted here), Cancel and Escape roll them
// back. The caller rebuilds its lists after OK.
#pragma once

#include <QDialog>
#include <memory>

#include "app/config_session.h"

namespace Ui {
class CConfigDlg;
}

namespace gantrell::ui {

class CConfigDlg : public QDialog {
  Q_OBJECT

 public:
  // Opens the session on `app`'s providers; the application is borrowed.
  explicit CConfigDlg(CClientApp& app, QWidget* parent = nullptr);
  ~CConfigDlg() override;

  void accept() override;
  void reject() override;

  const CConfigSession& session() const { return m_session; }

 private:
  // Rebuilds every control from the session.
  void Refresh();
  void OnProviderChanged(int row);
  void OnProviderScanClicked();
  void OnGroupSelectionChanged();
  void OnGroupScanClicked();
  void OnItemSelectionChanged();
  void OnAddOnce();
  void OnSaveLocation();
  void OnDelete();
  void OnDeleteProvider();
  void OnAddProvider();

  std::unique_ptr<Ui::CConfigDlg> m_ui;
  CClientApp& m_app;
  CConfigSession m_session;
  bool m_bRefreshing = false;
};

}  // namespace gantrell::ui
