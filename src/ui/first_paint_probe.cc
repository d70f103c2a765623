#include "ui/first_paint_probe.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace gantrell::ui {
namespace {

class FirstPaintProbe : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || m_bSeen)
      return false;
    auto* view = qobject_cast<QAbstractItemView*>(watched->parent());
    if (view == nullptr || view->viewport() != watched ||
        view->objectName() != QLatin1String("pendingList") || view->model() == nullptr ||
        view->model()->rowCount() == 0)
      return false;
    m_bSeen = true;
    // Read once the paint this event starts has been done.
    QMetaObject::invokeMethod(
        this,
        [] {
          const auto now = std::chrono::steady_clock::now().time_since_epoch();
          std::printf("first-paint %lld\n", static_cast<long long>(
                                                std::chrono::nanoseconds(now).count()));
          std::fflush(stdout);
          std::_Exit(0);
        },
        Qt::QueuedConnection);
    return false;
  }

 private:
  bool m_bSeen = false;
};

}  // namespace

void InstallFirstPaintProbeIfAsked() {
  if (qEnvironmentVariableIsEmpty("GANTRELL_FIRST_PAINT_PROBE"))
    return;
  QApplication::instance()->installEventFilter(new FirstPaintProbe(QApplication::instance()));
}

}  // namespace gantrell::ui
