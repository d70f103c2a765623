// "Choose download folder": "Choose a default download folder", a field
// for the folder and a "Browse..." button that opens the platform's folder
// chooser into the field. OK and Cancel; whether the folder exists is the
// caller's question (it asks again until one does).
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CFolderDlg;
}

namespace gantrell::ui {

class CFolderDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CFolderDlg(QWidget* parent = nullptr);
  ~CFolderDlg() override;

  // The folder typed or chosen.
  QString Folder() const;

 private:
  void Browse();

  std::unique_ptr<Ui::CFolderDlg> m_ui;
};

}  // namespace gantrell::ui
