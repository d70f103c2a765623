// A portable file of the window that reaches for the session bus.
#include <QString>
#include <QDBusConnection>

void Notice() { QDBusConnection::sessionBus(); }
