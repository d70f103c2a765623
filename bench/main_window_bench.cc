// The main window with 100,000 pending items over 20 providers, offscreen:
// the time from creating the window to the first paint of its filled list
// (window, initialisation, fill, show, layout and the paint), each round in
// a fresh window. As an anchor in the same run it times a plain
// QListWidget given one "NAME from PROVIDER" entry per item, the way the
// list was built before, to its first paint, and the model's own part
// (building the pending list).
//
//   build/bench/main_window_bench [items=100000] [rounds=3]
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "app/main_window_session.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

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
