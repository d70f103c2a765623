// The main window "Gantrell": the pending items (name, provider, size and
// date in columns; the first is selected when the window opens), the
// description and size of the selection and a count; "Skip once", "Remove", "Configure",
// "Customise save location", "View downloaded items", "Download Items"
// (the default button) and "Close" (also Escape). The About box is on the
// "About" button, in the context menu and on F1. Delete in the list removes
// the selected items as "Remove" does. The buttons that act on the
// selection are disabled while nothing is selected.
//
// What the buttons do to the model lives in app/main_window_model.h and
// app/main_window_session.h; this class maps widgets onto those calls.
// While the window runs it listens for hand-offs of other instances; each
// reaches OnNewProvider on the interface thread, and one that arrives while
// another dialog of the window runs waits until that dialog has ended.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "app/main_window_model.h"
#include "app/main_window_session.h"

class QAction;

namespace Ui {
class CMainDlg;
}

namespace gantrell {
class CClientApp;
class HandOffListener;
}  // namespace gantrell

namespace gantrell::ui {

class PendingItemsModel;

class CMainDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CMainDlg(CClientApp& app, QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Initialisation, before the window shows: starts listening for
  // hand-offs, registers the addresses start-up was offered (with the wait
  // dialog and the registration's messages) and fills the list.
  void OnInitDialog();

  // The hand-off of another instance: registers what it left in "newprov"
  // and rebuilds the list. Interface thread only.
  void OnNewProvider();

  // "Configure": the configuration dialog, then the list rebuilt from the
  // selection.
  void OnConfigure();
  // "Customise save location": the save-location dialog for each selected
  // entry in list order.
  void OnSaveLocation();
  // Opens the file manager modally: "View downloaded items", and after a
  // download run that ended.
  void ShowFileManager();
  // Opens the About box modally.
  void ShowAbout();

  const CMainWindowSession& session() const { return m_session; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Empties the list and lists the pending items (each gets m_bSelected).
  void FillPendingList();
  // Empties the list and lists the selected items.
  void FillFromSelection();
  void ShowItems(const ItemList& items);
  void UpdateCount();
  // "Skip once", "Remove" and "Customise save location" act on the
  // selection: they are enabled only while something is selected.
  void UpdateButtons();
  void ClearSelectionTexts();

  // The selected rows, and the items of the selected entries and of all
  // entries, in list order.
  std::vector<int> SelectedRows() const;
  ItemList SelectedItems() const;
  ItemList ListedItems() const;
  // Deletes the selected entries, from the last to the first.
  void DeleteSelectedEntries();

  void OnSelectionChanged();
  void OnSkipOnce();
  void OnRemove();
  void OnDownload();

  std::unique_ptr<Ui::CMainDlg> m_ui;
  CClientApp& m_app;
  CMainWindowSession m_session;
  QAction* m_pAboutAction;
  PendingItemsModel* m_pItems;  // the list's rows
  std::unique_ptr<HandOffListener> m_pHandOff;  // last: stops before the rest goes
};

}  // namespace gantrell::ui
