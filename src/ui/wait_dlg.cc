#include "ui/wait_dlg.h"

#include <QPushButton>

#include "app/wait_handshake.h"
#include "ui/app_icon.h"
#include "ui_wait_dlg.h"

namespace gantrell::ui {

CWaitDlg::CWaitDlg(CWaitHandshake& handshake, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CWaitDlg>()), m_handshake(handshake) {
  m_ui->setupUi(this);
  setWindowIcon(AppIcon());
  connect(m_ui->cancelButton, &QPushButton::clicked, this, &CWaitDlg::reject);
}

CWaitDlg::~CWaitDlg() = default;

int CWaitDlg::Run() {
  // The notice runs on the background thread while the handshake holds its
  // lock: it only posts the call. The handshake forgets it before this
  // dialog ends, so it never outlives the dialog.
  const bool done = m_handshake.DialogShown([this] {
    QMetaObject::invokeMethod(
        this, [this] { OnWorkFinished(); }, Qt::QueuedConnection);
  });
  if (done)
    return 1;
  raise();
  activateWindow();
  return exec();
}

void CWaitDlg::OnWorkFinished() {
  m_handshake.DialogEnded();
  done(1);
}

void CWaitDlg::reject() {
  m_handshake.Cancel();
  done(2);
}

}  // namespace gantrell::ui
