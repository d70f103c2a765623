// The windowed client's frontend: message boxes (through UserPrompts), the
// "Please Wait", "Choose download folder" and "Downloading" dialogs and the
// main window.
//
// ShowMessage, AskFolder and OnEndRequested may be called from any thread:
// off the interface thread the first two run there through a blocking
// queued call, and the caller waits for the answer. Everything else runs
// on the interface thread.
#pragma once

#include <memory>

#include "app/frontend.h"

class QTimer;

namespace gantrell::ui {

class QtFrontend : public Frontend {
 public:
  // On the interface thread, once the application object exists.
  QtFrontend();
  ~QtFrontend() override;

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  PromptResult AskFolder(std::string* folder) override;
  int RunWaitDialog(CWaitHandshake& handshake) override;
  int RunDownloadDialog(CDownloadJob& job) override;
  // With SetNotifyWhenPending(true) ("-s --notify"), a desktop
  // notification (OfferPendingNotification); else, and without a
  // notification service, the window opens.
  PendingAnswer OnPendingFound(CClientApp& app) override;
  void SetNotifyWhenPending(bool notify) { m_bNotifyWhenPending = notify; }
  // Runs the main window; its result is 0.
  int RunMainWindow(CClientApp& app) override;
  // From then on every modal dialog, message box and menu is closed as
  // with Escape as soon as it is up, the main window last: dialogs that
  // open while others close (the file manager after a download) go too.
  void OnEndRequested() override;

 private:
  MessageAnswer ShowMessageHere(const std::string& text, MessageIcon icon, MessageButtons buttons);
  PromptResult AskFolderHere(std::string* folder);

  // Closes what is up, once started by OnEndRequested.
  std::unique_ptr<QTimer> m_pEndSweep;
  bool m_bNotifyWhenPending = false;
};

}  // namespace gantrell::ui
