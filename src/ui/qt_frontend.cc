#include "ui/qt_frontend.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>

#include "ui/download_dlg.h"
#include "ui/folder_dlg.h"
#include "ui/main_dlg.h"
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

int QtFrontend::RunMainWindow(CClientApp& app) {
  CMainDlg window(app);
  window.OnInitDialog();
  window.exec();
  return 0;
}

}  // namespace gantrell::ui
