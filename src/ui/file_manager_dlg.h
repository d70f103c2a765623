// "File Manager": the files downloads left on disk, per provider or as the
// list of this session ("Just Downloaded", chosen at opening), with the
// description, size and suitability of the selected one, and "Open File"
// (also a double click), "Copy" (the platform's save dialog, which asks
// before replacing a file) and "Delete" (into the desktop's trash; where
// there is none, only after a question; the Delete key in the list does the
// same). A failed open or copy is shown.
// OK and Cancel only close it.
//
// What the buttons do lives in app/file_manager_model.h; this class maps
// widgets onto it. Interface thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "app/file_manager_model.h"

namespace Ui {
class CFileManagerDlg;
}

namespace gantrell {
class CClientApp;
class ShellOpen;
class Trash;
}  // namespace gantrell

namespace gantrell::ui {

class CFileManagerDlg : public QDialog {
  Q_OBJECT

 public:
  // Files are opened through `shell` and deleted into `trash` (both
  // borrowed), or through the desktop's services and trash when null.
  explicit CFileManagerDlg(CClientApp& app, ShellOpen* shell = nullptr, QWidget* parent = nullptr,
                           Trash* trash = nullptr);
  ~CFileManagerDlg() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnInitDialog();
  // Lists the files of the chosen entry and empties the texts.
  void FillFileList();
  void ShowTexts();
  void OnSourceChanged(int index);
  void OnFileSelectionChanged();
  void OnOpen();
  void OnCopy();
  void OnDelete();

  std::unique_ptr<Ui::CFileManagerDlg> m_ui;
  std::unique_ptr<ShellOpen> m_pOwnShell;
  std::unique_ptr<Trash> m_pOwnTrash;
  CFileManagerModel m_model;
};

}  // namespace gantrell::ui
