// The "Downloading" dialog on a console: a bar for the current item and one
// for the whole run, sized to the terminal's width (read again at every
// redraw, so a resize is followed within one period), with bytes done of
// the total, the speed and the time left; a finished item's bar stays on
// screen at 100%. An item that continues a kept part file says so
// ("resuming NAME at 52%") and its bar starts at the kept share. When standard error is a file or a pipe: one line per item
// started and one per item finished. Reports of the run appear as
// messages, followed by the item and the address; Ctrl-C cancels.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <vector>

#include "app/client_app.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "cli/terminal.h"
#include "model/size_text.h"
#include "net/download_job.h"
#include "platform/catalogue.h"
#include "platform/interrupt_watch.h"

namespace gantrell::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRedrawPeriodMs = 100;
constexpr int kMinimumBar = 10;

std::string Duration(double seconds) {
  if (seconds < 0 || seconds > 359999)
    return "--:--";
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
  }
  return text;
}

// "4.0K/8.0K 2.0K/s 00:02": what is done, how fast, how long is left; the
// compact form leaves out the speed. The first `kept` bytes of `done` were
// there before (a resumed item) and do not count towards the speed.
std::string Figures(std::int64_t done, std::int64_t total, double seconds, bool compact = false,
                    std::int64_t kept = 0) {
  const double speed =
      seconds > 0.05 ? static_cast<double>(std::max<std::int64_t>(done - kept, 0)) / seconds : 0;
  std::string text = TableSize(done) + "/" + TableSize(total);
  if (!compact)
    text += " " + (speed > 0 ? TableSize(static_cast<std::int64_t>(speed)) + "/s" : "--/s");
  text += " " + (speed > 0 ? Duration(static_cast<double>(total - done) / speed) : "--:--");
  return text;
}

struct FigureTexts {
  std::string full, compact;
};

FigureTexts BothFigures(std::int64_t done, std::int64_t total, double seconds,
                        std::int64_t kept = 0) {
  return {Figures(done, total, seconds, false, kept), Figures(done, total, seconds, true, kept)};
}

// One line of at most `width` columns: the label, a bar filling what room
// is left, the percentage and the figures. The figures go first, then
// the bar, when the line is narrow.
std::string Bar(const std::string& label, int percent, const FigureTexts& figures, int width) {
  const int shown = std::clamp(percent, 0, 100);
  const std::string tail = " " + std::to_string(shown) + "%";
  // Never the last column: a line that fills it wraps on some terminals.
  const int room = std::max(width - 1, 8);
  const std::size_t name_width = std::min<std::size_t>(label.size(), std::max(room / 4, 8));
  std::string right;
  int bar = 0;
  for (const std::string* choice : {&figures.full, &figures.compact}) {
    right = choice->empty() ? tail : tail + " " + *choice;
    bar = room - static_cast<int>(name_width) - 3 - static_cast<int>(right.size());
    if (bar >= kMinimumBar)
      break;
  }
  if (bar < kMinimumBar) {
    right = tail;
    bar = room - static_cast<int>(name_width) - 3 - static_cast<int>(right.size());
  }
  std::string name = label.size() > name_width
                         ? label.substr(0, name_width > 3 ? name_width - 3 : 0) + "..."
                         : label;
  name.resize(name_width, ' ');
  if (bar < 3) {
    std::string line = name + right;
    return line.substr(0, static_cast<std::size_t>(room));
  }
  const int filled = shown * bar / 100;
  return name + " [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(bar - filled), '.') + "]" + right;
}

class ProgressDisplay : public DownloadObserver {
 public:
  ProgressDisplay(ConsoleFrontend& frontend, std::mutex& output, CDownloadJob& job,
                  std::int64_t run_total)
      : m_frontend(frontend),
        m_output(output),
        m_job(job),
        m_bTerminal(StderrIsTerminal()),
        m_nRunTotal(run_total),
        m_runStart(Clock::now()) {}

  void OnProgress(int item_percent, int run_percent) override {
    m_itemPercent.store(item_percent);
    m_runPercent.store(run_percent);
  }

  void OnReport(int code) override {
    // The item and the address the report is about; the core's text
    // stands first, as it is.
    std::string where;
    if (const CUpdateItem* item = m_job.ReportingItem(); item != nullptr) {
      const bool signature = code == kReportNoLink || code == kReportNoSignature ||
                             code == kReportUnknownFormat || code == kReportBadSignatureFormat;
      where = " (" + item->m_strName + ": " + item->m_pGroup->m_pProvider->m_strAddress +
              std::to_string(item->m_nNumber) + (signature ? ".sig" : ".dat") + ")";
    }
    std::lock_guard<std::mutex> lock(m_drawMutex);
    BeginStartedItems();
    m_reported.insert(m_job.ReportingItem());
    Erase();
    m_frontend.ShowMessage(
        DownloadReportText(code) + where,
        DownloadReportIsError(code) ? MessageIcon::kError : MessageIcon::kInformation,
        MessageButtons::kOk);
    Draw();
  }

  bool OnAskReplace(const std::string& destination) override {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    BeginStartedItems();
    Erase();
    const bool yes = m_frontend.ShowMessage(ReplaceQuestionText(destination),
                                            MessageIcon::kQuestion,
                                            MessageButtons::kYesNoDefaultNo) == MessageAnswer::kYes;
    if (!yes)
      m_frontend.Note(Subst(Tr("Kept %1; the download was dropped."), {destination}));
    Draw();
    return yes;
  }

  void OnFinished() override { m_done.Notify(); }

  // From the worker: queued, and told on the interface thread (or before a
  // report), so that even an item that ends between two redraws gets its
  // lines.
  void OnItemStarted(const CUpdateItem& item) override {
    std::lock_guard<std::mutex> lock(m_startedMutex);
    m_started.push_back({&item, Clock::now()});
  }

  void OnItemResumed(const CUpdateItem& item, int percent) override {
    std::lock_guard<std::mutex> lock(m_startedMutex);
    m_started.push_back({&item, Clock::now(), percent});
  }

  const WakePipe& done() const { return m_done; }
  bool Finished() { return m_done.Drain(); }

  // The items the worker took up since the last look, and its progress,
  // from the interface thread's timer.
  void Update() {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    BeginStartedItems();
    m_lastItemPercent = m_itemPercent.load();
    if (m_bTerminal) {
      Erase();
      Draw();
    }
  }

  // Ends the last item and leaves the run's bar on screen at its end.
  void Close(bool cancelled) {
    std::lock_guard<std::mutex> lock(m_drawMutex);
    Erase();
    if (!cancelled)
      EndItem();
    if (m_bTerminal && m_bDrewAny) {
      const double seconds = Seconds(m_runStart);
      const int percent = cancelled ? m_runPercent.load() : 100;
      const std::int64_t done = cancelled ? m_nRunTotal * percent / 100 : m_nRunTotal;
      Write(
          Bar(Tr("All items"), percent, BothFigures(done, m_nRunTotal, seconds), TerminalWidth()) +
          "\n");
    }
  }

 private:
  static double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
  }

  // Ends the current item and makes each item the worker took up since
  // current in turn, each ending where the next one began. Under
  // m_drawMutex.
  void BeginStartedItems() {
    std::vector<Started> started;
    {
      std::lock_guard<std::mutex> lock(m_startedMutex);
      started.swap(m_started);
    }
    for (const Started& next : started) {
      if (next.resumed_percent >= 0) {
        // Told on its own line, above the bars.
        Erase();
        Write(ResumingText(next.item->m_strName, next.resumed_percent) + "\n");
        if (next.item == m_pCurrent) {
          m_nItemKept = m_nItemLength * next.resumed_percent / 100;
          m_itemPercent.store(next.resumed_percent);
          m_lastItemPercent = next.resumed_percent;
        }
        continue;
      }
      Erase();
      EndItem(next.at);
      m_pCurrent = next.item;
      m_strName = next.item->m_strName;
      m_itemStart = next.at;
      m_nItemLength = next.item->m_nLength;
      m_nItemKept = 0;
      m_itemPercent.store(0);
      if (!m_bTerminal)
        Write(Subst(Tr("Downloading %1 (%2)"), {m_strName, TableSize(m_nItemLength)}) + "\n");
    }
  }

  // The item that was current has ended (at `end`): at 100% unless it was
  // reported.
  void EndItem(Clock::time_point end = Clock::now()) {
    if (m_strName.empty())
      return;
    const bool failed = m_reported.count(m_pCurrent) > 0;
    const double seconds = std::chrono::duration<double>(end - m_itemStart).count();
    if (m_bTerminal) {
      m_bDrewAny = true;
      Write(Bar(m_strName, failed ? m_lastItemPercent : 100,
                failed ? FigureTexts{"failed", "failed"}
                       : BothFigures(m_nItemLength, m_nItemLength, seconds, m_nItemKept),
                TerminalWidth()) +
            "\n");
    } else {
      char took[32];
      std::snprintf(took, sizeof took, "%.1f s", seconds);
      Write((failed ? Subst(Tr("Failed %1"), {m_strName})
                    : Subst(Tr("Finished %1 (%2 in %3)"),
                            {m_strName, TableSize(m_nItemLength), took})) +
            "\n");
    }
    m_strName.clear();
  }

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
    const int width = TerminalWidth();
    std::string text;
    if (!m_strName.empty()) {
      const std::int64_t done = m_nItemLength * std::clamp(m_lastItemPercent, 0, 100) / 100;
      text = Bar(m_strName, m_lastItemPercent,
                 BothFigures(done, m_nItemLength, Seconds(m_itemStart), m_nItemKept), width) +
             "\n";
    }
    const int run = std::clamp(m_runPercent.load(), 0, 100);
    text += Bar(Tr("All items"), run,
                BothFigures(m_nRunTotal * run / 100, m_nRunTotal, Seconds(m_runStart)), width);
    Write(text);
    m_bDrewAny = true;
    m_nLinesDrawn = m_strName.empty() ? 1 : 2;
  }

  ConsoleFrontend& m_frontend;
  std::mutex& m_output;
  CDownloadJob& m_job;
  const bool m_bTerminal;
  const std::int64_t m_nRunTotal;
  const Clock::time_point m_runStart;
  struct Started {
    const CUpdateItem* item;
    Clock::time_point at;
    int resumed_percent = -1;  // >= 0: not a start but the item's resume
  };
  WakePipe m_done;
  std::mutex m_startedMutex;       // guards m_started; taken inside m_drawMutex
  std::vector<Started> m_started;  // items taken up, not yet told
  std::atomic<int> m_itemPercent{0};
  std::atomic<int> m_runPercent{0};
  std::mutex m_drawMutex;                   // guards what follows; taken before m_output
  std::set<const CUpdateItem*> m_reported;  // items a report was about
  const CUpdateItem* m_pCurrent = nullptr;
  std::string m_strName;
  std::int64_t m_nItemLength = 0;
  std::int64_t m_nItemKept = 0;  // bytes a resumed item started with
  Clock::time_point m_itemStart;
  int m_lastItemPercent = 0;
  int m_nLinesDrawn = 0;
  bool m_bDrewAny = false;
};

// The bytes of the run: what the worker will download.
std::int64_t RunTotal(const CClientApp& app) {
  std::int64_t total = 0;
  for (int p = 1; p < app.GetProviderCount(); ++p) {
    const CProvider& provider = *app.GetProvider(p);
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      const CUpdateGroup& group = *provider.GetGroup(g);
      for (int i = 0; i < group.GetItemCount(); ++i) {
        if (group.GetItem(i)->m_bSelected)
          total += group.GetItem(i)->m_nLength;
      }
    }
  }
  return total;
}

}  // namespace

int ConsoleFrontend::RunDownloadDialog(CDownloadJob& job) {
  ProgressDisplay display(*this, m_outputMutex, job, m_pApp != nullptr ? RunTotal(*m_pApp) : 0);
  InterruptWatch interrupt;
  m_bLastDownloadCancelled = false;
  job.Start(&display);
  for (;;) {
    WaitForWakeOrInterrupt(display.done(), interrupt, kRedrawPeriodMs);
    if (display.Finished())
      break;
    if (!m_bLastDownloadCancelled && (m_bEndRequested || interrupt.Fired())) {
      m_bLastDownloadCancelled = true;
      job.Cancel();
    }
    display.Update();
  }
  job.Join();
  // An end request cancels the job itself, which may end before this loop
  // looks again.
  if (m_bEndRequested && job.Aborted())
    m_bLastDownloadCancelled = true;
  // The worker may have started an item since the last look.
  display.Update();
  display.Close(m_bLastDownloadCancelled || job.Aborted());
  if (m_bLastDownloadCancelled)
    Note(Tr("Download cancelled."));
  m_lastWritten = job.Written();
  return 1;
}

}  // namespace gantrell::cli
