#include "support/scripted_frontend.h"

#include <gtest/gtest.h>

#include "app/wait_handshake.h"
#include "net/download_job.h"

namespace gantrell::testing {

MessageAnswer ScriptedFrontend::ShowMessage(const std::string& text, MessageIcon icon,
                                            MessageButtons buttons) {
  messages.push_back({text, icon, buttons});
  if (buttons == MessageButtons::kOk)
    return MessageAnswer::kOk;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return MessageAnswer::kNo;
  }
  MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

PromptResult ScriptedFrontend::AskFolder(std::string* folder) {
  ++folder_prompts;
  if (folder_answers.empty())
    return PromptResult::kUnavailable;
  FolderAnswer answer = folder_answers.front();
  folder_answers.pop_front();
  *folder = answer.folder;
  return answer.result;
}

int ScriptedFrontend::RunWaitDialog(CWaitHandshake& handshake) {
  ++wait_dialogs;
  bool cancel = false;
  if (!cancel_waits.empty()) {
    cancel = cancel_waits.front();
    cancel_waits.pop_front();
  }
  if (cancel) {
    handshake.Cancel();
    return 2;
  }
  // The end notice comes from the job's thread; the dialog's own loop is
  // this wait.
  std::mutex mutex;
  std::condition_variable ended;
  bool notified = false;
  const bool already_done = handshake.DialogShown([&] {
    std::lock_guard<std::mutex> lock(mutex);
    notified = true;
    ended.notify_all();
  });
  if (!already_done) {
    std::unique_lock<std::mutex> lock(mutex);
    ended.wait(lock, [&] { return notified; });
    lock.unlock();
    handshake.DialogEnded();
  }
  return 1;
}

namespace {

// The download dialog's side of the job, answering reports at once.
class DialogObserver : public DownloadObserver {
 public:
  DialogObserver(ScriptedFrontend& frontend, CDownloadJob& job) : frontend_(frontend), job_(job) {}

  void OnProgress(int item_percent, int run_percent) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frontend_.download_progress.emplace_back(item_percent, run_percent);
    if (frontend_.cancel_download_after_progress >= 0 &&
        static_cast<int>(frontend_.download_progress.size()) >=
            frontend_.cancel_download_after_progress) {
      job_.Cancel();
    }
  }
  void OnReport(int code) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frontend_.download_reports.push_back(code);
    frontend_.messages.push_back(
        {DownloadReportText(code),
         DownloadReportIsError(code) ? MessageIcon::kError : MessageIcon::kInformation,
         MessageButtons::kOk});
  }
  bool OnAskReplace(const std::string& destination) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return frontend_.ShowMessage(ReplaceQuestionText(destination), MessageIcon::kQuestion,
                                 MessageButtons::kYesNoDefaultNo) == MessageAnswer::kYes;
  }
  void OnFinished() override {}
  void OnItemStarted(const CUpdateItem& item) override {
    if (frontend_.on_download_item_started)
      frontend_.on_download_item_started(item);
  }

 private:
  ScriptedFrontend& frontend_;
  CDownloadJob& job_;
  std::mutex mutex_;
};

}  // namespace

int ScriptedFrontend::RunDownloadDialog(CDownloadJob& job) {
  ++download_dialogs;
  DialogObserver observer(*this, job);
  job.Start(&observer);
  job.Join();
  return 1;
}

int ScriptedFrontend::RunMainWindow(CClientApp& app) {
  ++main_windows;
  return main_window ? main_window(app) : 0;
}

std::vector<std::string> ScriptedFrontend::texts() const {
  std::vector<std::string> all;
  for (const Message& m : messages)
    all.push_back(m.text);
  return all;
}

}  // namespace gantrell::testing
