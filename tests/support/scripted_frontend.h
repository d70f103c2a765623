// A frontend for tests: records every message shown and answers questions
// and prompts from scripts given in advance.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/frontend.h"

namespace gantrell {
class CUpdateItem;
}

namespace gantrell::testing {

class ScriptedFrontend : public Frontend {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
  };
  struct FolderAnswer {
    PromptResult result;
    std::string folder;
  };

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  PromptResult AskFolder(std::string* folder) override;
  // Waits for the job's end notice like the real dialog, unless the next
  // entry of `cancel_waits` says to press Cancel at once.
  int RunWaitDialog(CWaitHandshake& handshake) override;
  // Runs the job to its end like the dialog: reports are recorded as
  // messages (with their report codes in `download_reports`), progress in
  // `download_progress`. With `cancel_download_after_progress` >= 0 it
  // presses Cancel once that many progress notices arrived.
  int RunDownloadDialog(CDownloadJob& job) override;
  // Runs `main_window` when set; returns its result (0 without one).
  int RunMainWindow(CClientApp& app) override;
  // Counts the notices in `end_requests`.
  void OnEndRequested() override { ++end_requests; }

  // Answers for Yes/No questions, in order; a question with none left is a
  // test failure answered No.
  std::deque<MessageAnswer> answers;
  // Answers for the folder prompt, in order; a prompt with none left is
  // answered kUnavailable.
  std::deque<FolderAnswer> folder_answers;

  // For each wait dialog in order: true presses Cancel as soon as it shows.
  std::deque<bool> cancel_waits;
  std::function<int(CClientApp&)> main_window;
  int cancel_download_after_progress = -1;
  // Runs on the download worker as each item starts.
  std::function<void(const CUpdateItem&)> on_download_item_started;
  std::atomic<int> end_requests{0};

  std::vector<int> download_reports;
  std::vector<std::pair<int, int>> download_progress;
  int download_dialogs = 0;

  std::vector<Message> messages;
  int folder_prompts = 0;
  int wait_dialogs = 0;
  int main_windows = 0;

  // The texts of all messages, for comparing in one go.
  std::vector<std::string> texts() const;
};

}  // namespace gantrell::testing
