// "About gantrell": the icon, the version, the maker, and the credit for
// the signing library. No logic of its own.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

namespace gantrell::ui {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;

 private:
  std::unique_ptr<Ui::CAboutDlg> m_ui;
};

}  // namespace gantrell::ui
