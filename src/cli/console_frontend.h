// The console client's frontend: the core's message boxes become lines on
// standard error, questions are asked on the terminal (or answered by
// --yes/--no), the "Please Wait" dialog and the "Downloading" dialog become
// a status line or progress bars that Ctrl-C cancels, and the main window
// is the command the user gave.
//
// Every method may be called from the interface thread; ShowMessage also
// from the download worker (through the progress display). Output lines
// never interleave.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/frontend.h"
#include "cli/cli_options.h"

namespace gantrell::cli {

class ConsoleFrontend : public Frontend {
 public:
  // Runs the command in place of the main window; returns the exit status.
  using Command = std::function<int(CClientApp&)>;

  struct Shown {
    std::string text;
    MessageIcon icon;
    bool own = false;  // a line of the console client's own, not of the core
  };

  ConsoleFrontend(Answer answer, Command command);

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  PromptResult AskFolder(std::string* folder) override;
  int RunWaitDialog(CWaitHandshake& handshake) override;
  int RunDownloadDialog(CDownloadJob& job) override;
  int RunMainWindow(CClientApp& app) override;
  // SIGTERM or SIGHUP: the wait or download in progress ends as after
  // Ctrl-C, and later questions are answered No without asking.
  void OnEndRequested() override;

  // Prints a line of the client's own (not a message of the core) on
  // standard error, after the program's name, and keeps it with the
  // messages. `icon` says how grave it is (for --json).
  void Note(const std::string& text, MessageIcon icon = MessageIcon::kInformation);

  // Why the last registration of `address` failed, as the fetch saw it;
  // empty when it did not fail or nothing is known.
  std::string RegistrationProblem(const std::string& address) const;

  // What the next fetch behind the wait line is for ("fetching the lists
  // of 2 providers before downloading"); shown beside the wait text.
  void SetWaitPurpose(std::string purpose) { m_strWaitPurpose = std::move(purpose); }

  // Whether the command ran, and the status it returned.
  bool command_ran() const { return m_bCommandRan; }
  int exit_status() const { return m_nExitStatus; }
  // How many messages had been shown when the command returned; what
  // follows comes from the end of the run (writing the store).
  std::size_t messages_at_command_end() const { return m_nMessagesAtCommandEnd; }

  // Every message shown so far, in order.
  std::vector<Shown> messages() const;
  // Whether an error message was shown after the first `count` messages.
  bool ErrorShownAfter(std::size_t count) const;
  std::size_t message_count() const;

  // The last download run: the files it wrote and whether Ctrl-C
  // cancelled it.
  const std::vector<std::string>& last_written() const { return m_lastWritten; }
  bool last_download_cancelled() const { return m_bLastDownloadCancelled; }

  // Serialises lines written to standard error.
  std::mutex& output_mutex() { return m_outputMutex; }

 private:
  // Asks on the terminal unless --yes or --no answered. Without a terminal
  // the answer is No, or kUnanswered when `may_stay_unanswered`.
  MessageAnswer AskYesNo(bool may_stay_unanswered);
  // Adds to a failed registration's message the reason and a hint.
  void ExplainRegistration(const std::string& text);

  CClientApp* m_pApp = nullptr;  // set once the command runs
  std::string m_strWaitPurpose;
  std::vector<std::pair<std::string, std::string>> m_registrationProblems;

  Answer m_answer;
  Command m_command;
  bool m_bCommandRan = false;
  int m_nExitStatus = kExitOk;
  std::size_t m_nMessagesAtCommandEnd = 0;
  std::vector<std::string> m_lastWritten;
  bool m_bLastDownloadCancelled = false;
  std::atomic<bool> m_bEndRequested{false};

  std::mutex m_outputMutex;
  mutable std::mutex m_messagesMutex;
  std::vector<Shown> m_messages;
};

}  // namespace gantrell::cli
