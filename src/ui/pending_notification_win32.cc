#include "ui/pending_notification.h"

namespace gantrell::ui {

// Windows has no session bus, and the Qt builds for it have no QtDBus. The
// Windows way would be a balloon from a tray icon (QSystemTrayIcon); it is
// not built, because no Qt for Windows is at hand here to try it on. Until
// then "--notify" opens the window, as it does on a desktop without a
// notification service.
PendingAnswer OfferPendingNotification(CClientApp& app) {
  (void)app;
  return PendingAnswer::kShowWindow;
}

}  // namespace gantrell::ui
