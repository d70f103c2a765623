// The Linux backend may use the session bus.
#include <QDBusConnection>
