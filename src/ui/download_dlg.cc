#include "ui/download_dlg.h"

#include <atomic>
#include <string_view>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include "app/download_dialog_model.h"
#include "ui/app_icon.h"
#include "ui/user_prompts.h"
#include "ui_download_dlg.h"

namespace gantrell::ui {

// The title is the core's (app/download_dialog_model.h), shown here in the
// user's language.
static_assert(std::string_view(kDownloadDialogTitle) == "Downloading");

CDownloadDlg::CDownloadDlg(CDownloadJob& job, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_ui(std::make_unique<Ui::CDownloadDlg>()),
      m_job(job),
      m_pNameTimer(new QTimer(this)) {
  m_ui->setupUi(this);
  setWindowTitle(QCoreApplication::translate("CDownloadDlg", "Downloading"));
  setWindowIcon(AppIcon());
  m_ui->itemProgress->setRange(0, 100);
  m_ui->overallProgress->setRange(0, 100);
  connect(m_ui->cancelButton, &QPushButton::clicked, this, &CDownloadDlg::reject);
  m_pNameTimer->setInterval(kDownloadNameRefreshMs);
  connect(m_pNameTimer, &QTimer::timeout, this, &CDownloadDlg::ShowCurrentName);
}

CDownloadDlg::~CDownloadDlg() {
  // Never leave a worker running against a dialog that is gone.
  m_job.Cancel();
  m_job.Join();
}

int CDownloadDlg::Run() {
  m_ui->itemNameText->clear();
  m_job.Start(this);
  m_pNameTimer->start();
  exec();
  return 1;
}

void CDownloadDlg::reject() {
  m_job.Cancel();
  m_ui->cancelButton->setEnabled(false);
}

void CDownloadDlg::closeEvent(QCloseEvent* event) {
  // A window manager may still offer to close the window: that is a
  // Cancel, and the dialog closes when the worker has stopped.
  event->ignore();
  reject();
}

void CDownloadDlg::OnProgress(int item_percent, int run_percent) {
  // The worker sends a notice every twelve reads of 256 bytes, dozens per
  // block it reads; only a change of the bars is worth an event.
  const long long posted =
      static_cast<long long>(item_percent) << 32 | (run_percent & 0xffffffffLL);
  if (posted == m_nLastPosted)
    return;
  m_nLastPosted = posted;
  QMetaObject::invokeMethod(
      this, [this, item_percent, run_percent] { SetProgress(item_percent, run_percent); },
      Qt::QueuedConnection);
}

void CDownloadDlg::OnReport(int code) {
  QMetaObject::invokeMethod(
      this, [this, code] { ShowReport(code); }, Qt::BlockingQueuedConnection);
}

bool CDownloadDlg::OnAskReplace(const std::string& destination) {
  // The answer crosses back to this worker thread: an atomic, since the
  // blocking call's own wake-up is not one a race checker can see.
  std::atomic<bool> replace{false};
  QMetaObject::invokeMethod(
      this,
      [this, &destination, &replace] {
        const bool yes =
            UserPrompts::ShowMessage(this, QString::fromStdString(ReplaceQuestionText(destination)),
                                     MessageIcon::kQuestion,
                                     MessageButtons::kYesNoDefaultNo) == MessageAnswer::kYes;
        replace.store(yes, std::memory_order_release);
      },
      Qt::BlockingQueuedConnection);
  return replace.load(std::memory_order_acquire);
}

void CDownloadDlg::OnFinished() {
  QMetaObject::invokeMethod(
      this, [this] { Finish(); }, Qt::QueuedConnection);
}

void CDownloadDlg::ShowCurrentName() {
  QString name = QString::fromStdString(m_job.CurrentName());
  // An item that continues a kept part file says so in its line.
  if (const int resumed = m_job.CurrentResumedPercent(); resumed >= 0 && !name.isEmpty())
    name = QCoreApplication::translate("CDownloadDlg", "resuming %1 at %2%").arg(name).arg(resumed);
  if (m_ui->itemNameText->text() != name)
    m_ui->itemNameText->setText(name);
}

void CDownloadDlg::SetProgress(int item_percent, int run_percent) {
  m_ui->itemProgress->setValue(BarPosition(item_percent));
  m_ui->overallProgress->setValue(BarPosition(run_percent));
}

void CDownloadDlg::ShowReport(int code) {
  UserPrompts::ShowMessage(this, QString::fromStdString(DownloadReportText(code)),
                           DownloadReportIcon(code), MessageButtons::kOk);
}

void CDownloadDlg::Finish() {
  // The end notice is the worker's last act: the join returns at once.
  m_job.Join();
  m_pNameTimer->stop();
  ShowCurrentName();
  done(1);
}

}  // namespace gantrell::ui
