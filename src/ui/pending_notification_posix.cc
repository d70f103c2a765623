#include <QDBusConnection>

#include "ui/desktop_notifier_posix.h"
#include "ui/pending_notification.h"

namespace gantrell::ui {

// The freedesktop.org notification service on the session bus.
PendingAnswer OfferPendingNotification(CClientApp& app) {
  return DesktopNotifier::OfferWindow(app, QDBusConnection::sessionBus());
}

}  // namespace gantrell::ui
