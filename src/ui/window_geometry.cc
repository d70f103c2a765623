#include "ui/window_geometry.h"

#include <QByteArray>
#include <QEvent>
#include <QWidget>

#include "platform/profile.h"

namespace gantrell::ui {
namespace {

class GeometryKeeper : public QObject {
 public:
  GeometryKeeper(QWidget& window, Profile& profile, QString entry)
      : QObject(&window), m_window(window), m_profile(profile), m_entry(std::move(entry)) {
    const std::string stored =
        m_profile.GetProfileString(kWindowSection, m_entry.toStdString(), "");
    if (!stored.empty())
      m_window.restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(stored)));
    m_window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A window that cannot store its place still works: the value is only
    // a convenience, so a failed write is not reported.
    if (watched == &m_window && event->type() == QEvent::Hide && !event->spontaneous()) {
      m_profile.WriteProfileString(kWindowSection, m_entry.toStdString(),
                                   m_window.saveGeometry().toBase64().toStdString(), nullptr);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget& m_window;
  Profile& m_profile;
  QString m_entry;
};

}  // namespace

void RememberGeometry(QWidget& window, Profile& profile, const QString& entry) {
  new GeometryKeeper(window, profile, entry);
}

}  // namespace gantrell::ui
