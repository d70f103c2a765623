// How the core talks to the user. The windowed client, the console client
// and the tests each implement this; the core never shows anything itself.
// Every call comes from the thread that runs the user interface unless a
// method says otherwise.
#pragma once

#include <string>

namespace gantrell {

class CClientApp;
class CDownloadJob;
class CWaitHandshake;

enum class MessageIcon { kInformation, kQuestion, kWarning, kError };
enum class MessageButtons {
  kOk,
  kYesNo,
  // A question whose safe answer is No (a file replaced or deleted for
  // good): No is the default (Enter, Escape and closing the box give it),
  // and a frontend that has no one to ask answers kNo.
  kYesNoDefaultNo,
  // As kYesNoDefaultNo, for a question that can wait (the subscribe
  // question): a frontend that has no one to ask answers kUnanswered, so
  // that the caller can ask again at a later start.
  kYesNoOrLater,
};
enum class MessageAnswer { kOk, kYes, kNo, kUnanswered };

// What a silent check ("-s") that found items pending does next.
enum class PendingAnswer {
  kShowWindow,  // open the main window, as a silent check does
  // The user asked for the window (answered a notification): it opens as
  // at a start by the user, so it also asks about addresses offered.
  kUserAsked,
  // End now, as a check with nothing pending ends; the items stay pending
  // for the next check.
  kLater,
};

enum class PromptResult {
  kOk,
  kCancel,
  // No one can answer (no terminal, a script without an answer): the caller
  // must give up instead of asking again.
  kUnavailable,
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  // A modal message box with a fixed text. Returns the button pressed; a
  // notice (kOk) returns kOk. Only a kYesNoOrLater question may return
  // kUnanswered, when nobody can be asked.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                    MessageButtons buttons) = 0;

  // The "Choose download folder" prompt: "Choose a default download folder"
  // and a text field. On kOk, *folder holds the text entered. Called on the
  // interface thread only: the core asks before a download starts, and a
  // background thread never asks.
  virtual PromptResult AskFolder(std::string* folder) = 0;

  // The "Please Wait" dialog ("Downloading Update Lists" and Cancel), run
  // modally while a background job works. When it comes up it calls
  // handshake.DialogShown with a notice that ends it with 1 (the notice is
  // called from the background thread and must not block), and ends with 1
  // at once if that returns true; on the notice it calls DialogEnded and
  // ends with 1; on Cancel it calls Cancel and ends with 2.
  virtual int RunWaitDialog(CWaitHandshake& handshake) = 0;

  // The "Downloading" progress dialog, run modally: starts `job` with
  // itself as the observer, shows the current item's name (job.CurrentName
  // on a timer) and the two percentages, shows each report as a message box
  // (DownloadReportText) before returning from OnReport, lets Cancel call
  // job.Cancel, and ends with 1 after OnFinished, once job.Join returned.
  virtual int RunDownloadDialog(CDownloadJob& job) = 0;

  // A silent check found items pending, before the main window opens: a
  // frontend may tell the user in a quieter way (a desktop notification)
  // and wait for the answer. Nothing else has been shown yet. The default
  // opens the window.
  virtual PendingAnswer OnPendingFound(CClientApp& app) {
    (void)app;
    return PendingAnswer::kShowWindow;
  }

  // The main window, run modally; returns when it closes. Its result is
  // the frontend's own (the console client's exit status).
  virtual int RunMainWindow(CClientApp& app) = 0;

  // The program was asked to end (CClientApp::RequestEnd): every dialog
  // and question still open, and the main window, end as after Cancel
  // (questions answered No), and so does any that opens later. The core
  // has told its background work to stop already. Any thread; must not
  // block.
  virtual void OnEndRequested() {}
};

}  // namespace gantrell
