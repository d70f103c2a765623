#include "ui/qt_frontend.h"

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <mutex>

#include "ui/download_dlg.h"
#include "ui/folder_dlg.h"
#include "ui/main_dlg.h"
#include "ui/pending_notification.h"
#include "ui/user_prompts.h"
#include "ui/wait_dlg.h"

namespace gantrell::ui {
namespace {

bool OnInterfaceThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs `call` on the interface thread and waits for it. What `call`
// writes is handed back under a mutex of our own, so that the order of the
// two threads does not rest on Qt's internal wait alone (which the thread
// sanitizer cannot see).
template <typename Call>
void OnInterfaceThreadAndWait(Call call) {
  if (OnInterfaceThread()) {
    call();
    return;
  }
  std::mutex handed_back;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        std::lock_guard<std::mutex> lock(handed_back);
        call();
      },
      Qt::BlockingQueuedConnection);
  std::lock_guard<std::mutex> lock(handed_back);
}

}  // namespace

MessageAnswer QtFrontend::ShowMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons) {
  MessageAnswer answer = MessageAnswer::kOk;
  OnInterfaceThreadAndWait([&] { answer = ShowMessageHere(text, icon, buttons); });
  return answer;
}

MessageAnswer QtFrontend::ShowMessageHere(const std::string& text, MessageIcon icon,
                                          MessageButtons buttons) {
  return UserPrompts::ShowMessage(nullptr, QString::fromStdString(text), icon, buttons);
}

PromptResult QtFrontend::AskFolder(std::string* folder) {
  PromptResult result = PromptResult::kCancel;
  OnInterfaceThreadAndWait([&] { result = AskFolderHere(folder); });
  return result;
}

PromptResult QtFrontend::AskFolderHere(std::string* folder) {
  CFolderDlg dialog;
  if (dialog.exec() != QDialog::Accepted)
    return PromptResult::kCancel;
  *folder = dialog.Folder().toStdString();
  return PromptResult::kOk;
}

int QtFrontend::RunWaitDialog(CWaitHandshake& handshake) {
  CWaitDlg dialog(handshake);
  return dialog.Run();
}

int QtFrontend::RunDownloadDialog(CDownloadJob& job) {
  CDownloadDlg dialog(job);
  return dialog.Run();
}

QtFrontend::QtFrontend() : m_pEndSweep(std::make_unique<QTimer>()) {
  // Each dialog ends in its own nested loop, and the code after it may
  // open another: once started, the sweep goes on until the program ends.
  static constexpr int kSweepMs = 20;
  m_pEndSweep->setInterval(kSweepMs);
  QObject::connect(m_pEndSweep.get(), &QTimer::timeout, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      popup->close();
      return;
    }
    // Reject is the dialogs' Cancel and the boxes' Escape (No).
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
      dialog->reject();
  });
}

QtFrontend::~QtFrontend() = default;

void QtFrontend::OnEndRequested() {
  // Started on the timer's own thread; dropped if the frontend is gone.
  QMetaObject::invokeMethod(m_pEndSweep.get(), "start", Qt::QueuedConnection);
}

PendingAnswer QtFrontend::OnPendingFound(CClientApp& app) {
  if (!m_bNotifyWhenPending)
    return PendingAnswer::kShowWindow;
  return OfferPendingNotification(app);
}

int QtFrontend::RunMainWindow(CClientApp& app) {
  CMainDlg window(app);
  window.OnInitDialog();
  window.exec();
  return 0;
}

}  // namespace gantrell::ui
