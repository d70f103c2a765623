// "Please Wait": "Downloading Update Lists" and Cancel, shown modally while
// a background job (a fetch or a registration) works.
//
// It follows the wait handshake: when it comes up it tells the handshake,
// and ends at once with 1 if the job is already done; the job's end notice
// (called on the background thread) reaches it as a queued call and ends it
// with 1; Cancel, Escape or closing the window cancel the wait and end it
// with 2. Interface thread only, apart from the end notice.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CWaitDlg;
}

namespace gantrell {
class CWaitHandshake;
}

namespace gantrell::ui {

class CWaitDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CWaitDlg(CWaitHandshake& handshake, QWidget* parent = nullptr);
  ~CWaitDlg() override;

  // Shows the dialog modally; 1 when the job ended, 2 when cancelled.
  int Run();

  // Cancel.
  void reject() override;

 private:
  void OnWorkFinished();

  std::unique_ptr<Ui::CWaitDlg> m_ui;
  CWaitHandshake& m_handshake;
};

}  // namespace gantrell::ui
