// "Downloading": the name of the item in progress (refreshed every 100 ms),
// the item's and the whole run's progress (0 to 100) and Cancel. It starts
// the download job's worker and is its observer.
//
// The worker never touches a widget: progress and the end notice arrive as
// queued calls; a report is a blocking call into the interface thread, so
// the worker waits while its message box is open. Cancel (also Escape)
// closes the request being read and lets the worker end the run; the
// dialog closes only when the worker has ended. It has no close button.
#pragma once

#include <QDialog>
#include <memory>

#include "net/download_job.h"

class QTimer;

namespace Ui {
class CDownloadDlg;
}

namespace gantrell::ui {

class CDownloadDlg : public QDialog, public DownloadObserver {
  Q_OBJECT

 public:
  explicit CDownloadDlg(CDownloadJob& job, QWidget* parent = nullptr);
  ~CDownloadDlg() override;

  // Starts the job and shows the dialog modally until the worker ended
  // (and was joined); 1.
  int Run();

  // Cancel.
  void reject() override;

  // From the worker thread.
  void OnProgress(int item_percent, int run_percent) override;
  void OnReport(int code) override;
  bool OnAskReplace(const std::string& destination) override;
  void OnFinished() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowCurrentName();
  void SetProgress(int item_percent, int run_percent);
  void ShowReport(int code);
  void Finish();

  std::unique_ptr<Ui::CDownloadDlg> m_ui;
  CDownloadJob& m_job;
  QTimer* m_pNameTimer;
  // The bars' positions last sent to the interface thread; the worker's
  // own (only OnProgress reads or writes it).
  long long m_nLastPosted = -1;
};

}  // namespace gantrell::ui
