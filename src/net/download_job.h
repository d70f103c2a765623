// One run of item downloads: every selected item of every provider from
// index 1, each as its signature file (number + ".sig") and then its bytes
// (number + ".dat"), written beside its destination while the digest runs
// and moved into place only once the signature verifies and, when the
// item's list entry gives a SHA-256, the bytes and their length are the
// ones listed.
//
// A body that stops before its end (a failed read, Cancel, the program
// killed) stays in a kept part file (see KeptPartPath). The next download
// of the item with the same stamp and length digests the kept bytes again
// from disk and asks for the rest only ("Range" with "If-Range", the
// validator the first answer carried); an answer with the whole file
// starts it again from its first byte.
//
// The job runs on its own worker thread and talks to its progress dialog
// only through a DownloadObserver; the dialog (interface thread) reads the
// current item's name and may cancel at any time.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/provider_list.h"
#include "platform/http.h"

namespace gantrell {

// Report codes of a run, and their texts and kinds.
enum DownloadReport : int {
  kReportCorrupt = 1,
  kReportNoMainFile = 2,
  kReportCannotWrite = 3,
  kReportDiskWrite = 4,
  kReportNoLink = 6,
  kReportReadAborted = 7,
  kReportUnknownFormat = 8,
  kReportNoSignature = 9,
  kReportBadSignatureFormat = 10,
  // The file's SHA-256 or length is not what its entry in the update list
  // gives, though its signature may hold (an older version served in its
  // place).
  kReportNotAsListed = 11,
};

// The message shown for a report code ("Error %i" for unknown codes).
std::string DownloadReportText(int code);
// True for the codes shown with the error icon, false for information.
bool DownloadReportIsError(int code);
// The item line of a download that continues a kept part file:
// "resuming NAME at 52%".
std::string ResumingText(const std::string& name, int percent);
// The question OnAskReplace is to ask: "File already exists at " followed
// by the path and ". Overwrite?" (Yes/No, No the default).
std::string ReplaceQuestionText(const std::string& destination);

// What the progress dialog receives from the worker.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  // Item and whole-run percentages. Posted: must not block.
  virtual void OnProgress(int item_percent, int run_percent) = 0;
  // A report to show; the worker waits until this returns (the message box
  // is closed).
  virtual void OnReport(int code) = 0;
  // The worker's last act. Posted: must not block.
  virtual void OnFinished() = 0;
  // The worker takes up `item` (before its signature is fetched), in run
  // order, so that an observer can tell of every item however quickly it
  // ends. Posted: must not block.
  virtual void OnItemStarted(const CUpdateItem& /*item*/) {}
  // The server agreed to continue the part file an earlier download of
  // `item` kept: the item starts at `percent` (its kept share) rather than
  // at 0. Posted: must not block.
  virtual void OnItemResumed(const CUpdateItem& /*item*/, int /*percent*/) {}
  // A verified download would replace `destination`, a file that is not
  // the item's own: true to replace it. The worker waits for the answer.
  // Without an answer the file stays and the download is dropped.
  virtual bool OnAskReplace(const std::string& /*destination*/) { return false; }
};

// The options a download session should use: `options` with a receive
// buffer large enough that the network keeps going while the download
// digests a block and its part file waits for the disk.
HttpOptions DownloadHttpOptions(HttpOptions options);

// What a run needs from the application.
struct DownloadEnvironment {
  // The item's default save path (may make folders); empty: no place.
  std::function<std::string(const CUpdateItem&)> default_save_path;
  // Opens the synchronous session; nullptr on failure. Empty: a session
  // with DownloadHttpOptions(HttpOptions{}).
  std::function<std::unique_ptr<HttpSession>(std::string* error)> open_session;
  // Today's local date for items downloaded, as "day month year". Empty:
  // the real date.
  std::function<std::string()> today;
};

class CDownloadJob {
 public:
  // The provider list is borrowed and must not change while the job runs.
  CDownloadJob(ProviderList& providers, DownloadEnvironment environment);
  ~CDownloadJob();

  CDownloadJob(const CDownloadJob&) = delete;
  CDownloadJob& operator=(const CDownloadJob&) = delete;

  // Starts the worker thread; `observer` must outlive it (until Join).
  void Start(DownloadObserver* observer);
  // Waits for the worker to end.
  void Join();
  // Runs the whole job on the calling thread instead (tests, scripts).
  void Run(DownloadObserver* observer);

  // The dialog's Cancel: stops the run and closes the request being read so
  // that a blocked read returns at once. Any thread, any number of times.
  void Cancel();
  // The name of the item in progress, for the dialog's timer.
  std::string CurrentName() const;
  // The kept share (0 to 100) the item in progress started at when it
  // continues a kept part file; -1 when it started from its first byte.
  int CurrentResumedPercent() const;
  // Whether the worker saw the cancel and stopped.
  bool Aborted() const;
  // The item the worker is on (none before the first item); any thread.
  const CUpdateItem* ReportingItem() const { return m_pReportingItem.load(); }

  // The destinations written by this run, in order.
  const std::vector<std::string>& Written() const { return m_written; }

  // Worker operations.
  void DownloadThreadProc();
  void DownloadAll();

 private:
  void DownloadItem(CUpdateItem& item, HttpSession& session, long long total, long long* done);
  void Report(int code);
  // Opens `url` into m_hRequest (one retry); false when both fail.
  bool OpenRequest(HttpSession& session, const std::string& url,
                   const HttpRequestOptions& options = {});
  void CloseRequest();
  // Marks the run aborted when Cancel was pressed; true then.
  bool StopIfCancelled();
  void RunItems(HttpSession& session, long long total);

  ProviderList& m_providers;
  DownloadEnvironment m_environment;
  DownloadObserver* m_pObserver = nullptr;
  std::thread m_pThread;

  // Guards m_bCancel, m_strCurrentName, m_nResumedPercent, m_hRequest and
  // m_pSession.
  mutable std::mutex m_pMutex;
  std::unique_ptr<HttpRequest> m_hRequest;
  HttpSession* m_pSession = nullptr;  // the running session, for Cancel
  std::string m_strCurrentName;
  int m_nResumedPercent = -1;
  bool m_bCancel = false;
  bool m_bAborted = false;
  std::vector<std::string> m_written;
  std::atomic<const CUpdateItem*> m_pReportingItem{nullptr};  // written by the worker
};

}  // namespace gantrell
