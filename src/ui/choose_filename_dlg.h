// "Choose Filename": the caption "Choose location for item " and the
// item's name, the save path field (empty: the default location),
// "Browse" (the platform's save dialog), "Set to default", OK and Cancel.
// OK and "Set to default" move a downloaded file to the new place
// (app/save_location_move.h); when the move is declined or fails the
// dialog stays open and the item keeps its old path and file.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CChooseFilenameDlg;
}

namespace gantrell {
class CClientApp;
class CUpdateItem;
}  // namespace gantrell

namespace gantrell::ui {

class CChooseFilenameDlg : public QDialog {
  Q_OBJECT

 public:
  // The item is borrowed and must outlive the dialog.
  CChooseFilenameDlg(CClientApp& app, CUpdateItem& item, QWidget* parent = nullptr);
  ~CChooseFilenameDlg() override;

  // OK: the move to the path in the field.
  void accept() override;

 private:
  void Browse();
  void SetToDefault();
  // Closes with OK when the move is done, stays open otherwise.
  void Finish(int outcome);

  std::unique_ptr<Ui::CChooseFilenameDlg> m_ui;
  CClientApp& m_app;
  CUpdateItem& m_item;
};

}  // namespace gantrell::ui
