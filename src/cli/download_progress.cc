// The "Downloading" dialog on a console: one progress bar per item and one
// for the whole run, drawn in place on a terminal, or one line per item
// when standard error is a file or a pipe. Reports of the run appear as
// messages; Ctrl-C cancels.
#include <poll.h>

#include <atomic>
#include <cstdio>

#include "cli/console_frontend.h"
#include "cli/interrupt_watch.h"
#include "cli/terminal.h"
#include "net/download_job.h"

namespace gantrell::cli {
namespace {

constexpr int kRedrawPeriodMs = 100;
constexpr int kBarWidth = 30;
constexpr std::size_t kNameWidth = 28;

std::string Bar(const std::string& label, int percent) {
  const int shown = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  std::string name = label.size() > kNameWidth ? label.substr(0, kNameWidth - 3) + "..." : label;
  name.resize(kNameWidth, ' ');
  const int filled = shown * kBarWidth / 100;
  return name + " [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
         std::to_string(shown) + "%";
}

class ProgressDisplay : public DownloadObserver {
 public:
  ProgressDisplay(ConsoleFrontend& frontend, std::mutex& output)
      : m_frontend(frontend), m_output(output), m_bTerminal(StderrIsTerminal()) {}

  void OnProgress(int item_percent, int run_percent) override {
    m_itemPercent.store(item_percent);
    m_runPercent.store(run_percent);
  }

  void OnReport(int code) override {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    Erase();
    m_frontend.ShowMessage(
        DownloadReportText(code),
        DownloadReportIsError(code) ? MessageIcon::kError : MessageIcon::kInformation,
        MessageButtons::kOk);
    Draw();
  }

  void OnFinished() override { m_done.Notify(); }

  int done_fd() const { return m_done.fd(); }
  bool Finished() { return m_done.Drain(); }

  // The worker's current item, from the interface thread's timer.
  void Update(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    if (name != m_strName && !name.empty()) {
      if (m_bTerminal) {
        // The finished item's bar stays on screen above the new one.
        Erase();
        if (!m_strName.empty())
          Write(Bar(m_strName, m_lastItemPercent) + "\n");
      } else {
        Write("Downloading " + name + "\n");
      }
      m_strName = name;
      m_itemPercent.store(0);
    }
    m_lastItemPercent = m_itemPercent.load();
    if (m_bTerminal) {
      Erase();
      Draw();
    }
  }

  // Leaves the last bars on screen, followed by a line break.
  void Close() {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    if (m_bTerminal && m_nLinesDrawn > 0)
      Write("\n");
    m_nLinesDrawn = 0;
  }

 private:
  void Write(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_output);
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }

  // Removes the bars drawn in place (the cursor stands at the end of the
  // run's bar).
  void Erase() {
    if (!m_bTerminal || m_nLinesDrawn == 0)
      return;
    std::string text = "\r\x1b[2K";
    for (int i = 1; i < m_nLinesDrawn; ++i)
      text += "\x1b[1A\r\x1b[2K";
    Write(text);
    m_nLinesDrawn = 0;
  }

  void Draw() {
    if (!m_bTerminal)
      return;
    std::string text;
    if (!m_strName.empty())
      text = Bar(m_strName, m_lastItemPercent) + "\n";
    text += Bar("All items", m_runPercent.load());
    Write(text);
    m_nLinesDrawn = m_strName.empty() ? 1 : 2;
  }

  ConsoleFrontend& m_frontend;
  std::mutex& m_output;
  const bool m_bTerminal;
  WakePipe m_done;
  std::atomic<int> m_itemPercent{0};
  std::atomic<int> m_runPercent{0};
  std::mutex m_drawMutex;  // guards what follows; taken before m_output
  std::string m_strName;
  int m_lastItemPercent = 0;
  int m_nLinesDrawn = 0;
};

}  // namespace

int ConsoleFrontend::RunDownloadDialog(CDownloadJob& job) {
  ProgressDisplay display(*this, m_outputMutex);
  InterruptWatch interrupt;
  m_bLastDownloadCancelled = false;
  job.Start(&display);
  for (;;) {
    pollfd fds[2] = {{display.done_fd(), POLLIN, 0}, {interrupt.fd(), POLLIN, 0}};
    ::poll(fds, interrupt.fd() >= 0 ? 2 : 1, kRedrawPeriodMs);
    if (display.Finished())
      break;
    if (!m_bLastDownloadCancelled && interrupt.Fired()) {
      m_bLastDownloadCancelled = true;
      job.Cancel();
    }
    display.Update(job.CurrentName());
  }
  job.Join();
  display.Close();
  if (m_bLastDownloadCancelled)
    Note("Download cancelled.");
  m_lastWritten = job.Written();
  return 1;
}

}  // namespace gantrell::cli
