// The main window with 100,000 pending items over 20 providers, offscreen:
// the time from creating the window to the first paint of its filled list
// (window, initialisation, fill, show, layout and the paint), each round in
// a fresh window. As an anchor in the same run it times a plain
// QListWidget given one "NAME from PROVIDER" entry per item, the way the
// list was built before, to its first paint, and the model's own part
// (building the pending list).
//
// With --from-start it measures what a user waits for instead: from the
// start of a `gantrell` process (the one built beside the benchmark, or
// $GANTRELL) on a prepared data folder holding the same items (nothing
// due, so nothing is fetched), offscreen, to the first paint of its filled
// list, as the program itself reports it (first_paint_probe.h); the
// benchmark's own clock starts just before it starts the process.
//
//   build/bench/main_window_bench [items=100000] [rounds=3]
//   build/bench/main_window_bench --from-start [items=100000] [rounds=3]
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "app/main_window_session.h"
#include "model/local_time.h"
#include "platform/registry_file.h"
#include "platform/os_version.h"
#include "support/memory_registry.h"
#include "ui/main_dlg.h"

namespace {

using namespace gantrell;

constexpr int kProviders = 20;

class NoOsVersion : public OsVersion {
 public:
  bool Query(OsVersionInfo*) const override { return false; }
};

// Ends the wait once the watched widget has painted.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      painted = true;
    return QObject::eventFilter(watched, event);
  }
};

void WaitForPaint(const PaintWatch& watch) {
  while (!watch.painted)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void Fill(CClientApp& app, int items) {
  app.m_providers.clear();
  app.SetUpBuiltInProviders();
  int made = 0;
  for (int p = 0; p < kProviders; ++p) {
    auto provider = std::make_unique<CProvider>();
    provider->m_strKeyName = "Provider number " + std::to_string(p);
    provider->m_strAddress = "http://updates.example.org/provider/" + std::to_string(p) + "/";
    provider->m_bVerified = true;
    provider->m_nScanMode = 1;
    CUpdateGroup* group = provider->AddGroup();
    group->m_strName = "Tools";
    group->m_bScan = 1;
    const int count = items / kProviders + (p < items % kProviders ? 1 : 0);
    for (int i = 0; i < count; ++i, ++made) {
      CUpdateItem* item = group->AddItem();
      item->m_strName = "tool-" + std::to_string(made) + ".exe";
      item->m_strLocation = "bin\\" + item->m_strName;
      item->m_strDescription = "A tool that does one thing well, release " + std::to_string(i);
      item->m_strDate = "7 12 2026";
      item->m_nNumber = made;
      item->m_nLength = 100000 + made;
      item->m_nStamp = made;
      item->m_nTakenStamp = -1;
    }
    app.m_providers.push_back(std::move(provider));
  }
}

double WindowSeconds(CClientApp& app, int* listed) {
  QElapsedTimer timer;
  timer.start();
  ui::CMainDlg window(app);
  PaintWatch watch(window.findChild<QTreeView*>("pendingList")->viewport());
  window.OnInitDialog();
  window.show();
  WaitForPaint(watch);
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  *listed = window.findChild<QTreeView*>("pendingList")->model()->rowCount();
  return seconds;
}

// The model's part: building the pending list itself.
double FillSeconds(CClientApp& app) {
  QElapsedTimer timer;
  timer.start();
  const ItemList items = FillPendingList(app);
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double ListWidgetSeconds(CClientApp& app) {
  QElapsedTimer timer;
  timer.start();
  QListWidget list;
  list.resize(520, 300);
  PaintWatch watch(list.viewport());
  for (CUpdateItem* item : FillPendingList(app))
    list.addItem(QString::fromStdString(ListEntryText(*item)));
  list.show();
  WaitForPaint(watch);
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Writes the store of `items` pending items into a data folder under
// `folder`, with the settings that make a start use it and fetch nothing,
// and points this process's environment (which the child inherits) at it.
bool PrepareDataFolder(const QString& folder, int items) {
  const QString registry_dir = folder + "/registry";
  const QString data = folder + "/data/Gantrell";
  const QString runtime = folder + "/run";
  for (const QString& made : {registry_dir, data, runtime}) {
    if (!QDir().mkpath(made))
      return false;
  }
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("GANTRELL_REGISTRY_DIR", registry_dir.toUtf8());
  qputenv("XDG_DATA_HOME", (folder + "/data").toUtf8());
  qputenv("XDG_CONFIG_HOME", (folder + "/config").toUtf8());
  qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
  // Nothing is due, but nothing may leave the machine if something were.
  qputenv("GANTRELL_KEY_SERVER", "http://127.0.0.1:9/");
  FileRegistry registry;
  NoOsVersion os;
  CClientApp app(registry, os);
  Fill(app, items);
  for (int p = 0; p < app.GetProviderCount(); ++p)
    app.GetProvider(p)->m_timeNextCheck = Now() + 30 * 24 * 3600;
  app.m_strDataPath = data.toStdString();
  app.profile().WriteProfileString(kSettingsSection, "default", app.m_strDataPath, nullptr);
  app.profile().WriteProfileString(kSettingsSection, "dlpath", app.m_strDataPath, nullptr);
  std::string error;
  if (!app.SaveStore(&error)) {
    std::fprintf(stderr, "cannot write the store: %s\n", error.c_str());
    return false;
  }
  return true;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One start of the program to its first paint; negative when it did not
// report one.
double StartSeconds(const QString& program) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const auto started = std::chrono::steady_clock::now();
  child.start(program, {});
  if (!child.waitForFinished(60000)) {
    child.kill();
    child.waitForFinished();
    return -1;
  }
  long long painted = 0;
  if (std::sscanf(child.readAllStandardOutput().constData(), "first-paint %lld", &painted) != 1)
    return -1;
  const long long begun =
      std::chrono::nanoseconds(started.time_since_epoch()).count();
  return static_cast<double>(painted - begun) / 1e9;
}

int FromStart(int items, int rounds) {
  QString program = qEnvironmentVariable("GANTRELL");
  if (program.isEmpty())
    program = QCoreApplication::applicationDirPath() + "/../src/gantrell";
  QTemporaryDir folder;
  if (!folder.isValid() || !PrepareDataFolder(folder.path(), items))
    return 1;
  qputenv("GANTRELL_FIRST_PAINT_PROBE", "1");
  std::printf("%s from process start, %d items over %d providers, offscreen\n",
              qPrintable(QDir::cleanPath(program)), items, kProviders);
  for (int round = 1; round <= rounds; ++round) {
    const double cpu_before = ChildrenCpuSeconds();
    const double seconds = StartSeconds(program);
    const double cpu = ChildrenCpuSeconds() - cpu_before;
    if (seconds < 0) {
      std::printf("round %d: no first paint reported\n", round);
      return 1;
    }
    double load = 0;
    getloadavg(&load, 1);
    std::printf("round %d: process start to first paint %.3f s (its CPU %.3f s), load %.2f\n",
                round, seconds, cpu, load);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const bool from_start = argc > 1 && std::string(argv[1]) == "--from-start";
  const int first = from_start ? 2 : 1;
  const int items = argc > first ? std::atoi(argv[first]) : 100000;
  const int rounds = argc > first + 1 ? std::atoi(argv[first + 1]) : 3;
  if (from_start)
    return FromStart(items, rounds);

  testing::MemoryRegistry registry;
  NoOsVersion os;
  CClientApp app(registry, os);
  Fill(app, items);
  std::printf("main window, %d items over %d providers, offscreen\n", items, kProviders);
  for (int round = 1; round <= rounds; ++round) {
    int listed = 0;
    const double window = WindowSeconds(app, &listed);
    const double widget = ListWidgetSeconds(app);
    const double fill = FillSeconds(app);
    std::printf(
        "round %d: window to first paint %.3f s (%d listed); of that the pending list alone "
        "%.3f s; QListWidget %.3f s\n",
        round, window, listed, fill, widget);
  }
  return 0;
}
