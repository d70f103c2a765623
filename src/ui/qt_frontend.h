// The windowed client's frontend: message boxes (through UserPrompts), the
// "Please Wait", "Choose download folder" and "Downloading" dialogs and the
// main window.
//
// ShowMessage and AskFolder may be called from any thread: off the
// interface thread they run there through a blocking queued call, and the
// caller waits for the answer. Everything else runs on the interface
// thread.
#pragma once

#include "app/frontend.h"

namespace gantrell::ui {

class QtFrontend : public Frontend {
 public:
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  PromptResult AskFolder(std::string* folder) override;
  int RunWaitDialog(CWaitHandshake& handshake) override;
  int RunDownloadDialog(CDownloadJob& job) override;
  // Runs the main window; its result is 0.
  int RunMainWindow(CClientApp& app) override;

 private:
  MessageAnswer ShowMessageHere(const std::string& text, MessageIcon icon, MessageButtons buttons);
  PromptResult AskFolderHere(std::string* folder);
};

}  // namespace gantrell::ui
