#include "ui/desktop_notifier_posix.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QLocale>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <memory>
#include <string>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "platform/single_instance.h"

namespace gantrell::ui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The hand-off channel's name, as the main window's.
constexpr const char* kWindowTitle = "Gantrell";
// No call to the service may hold the check for long: one that does not
// answer counts as no service.
constexpr int kCallTimeoutMs = 5000;
// How often the wait looks whether the program was asked to end.
constexpr int kEndCheckMs = 100;
constexpr std::size_t kNamedProviders = 3;

QDBusMessage ServiceCall(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

// "A", "A and B", "A, B and C", "A, B, C and 17 more".
QString ProviderList(const std::vector<std::string>& names) {
  QStringList shown;
  for (std::size_t i = 0; i < std::min(names.size(), kNamedProviders); ++i)
    shown.append(QString::fromStdString(names[i]));
  const QString comma = QStringLiteral(", ");
  if (names.size() > kNamedProviders) {
    return QCoreApplication::translate("DesktopNotifier", "%1 and %2 more")
        .arg(shown.join(comma), QLocale().toString(qulonglong(names.size() - kNamedProviders)));
  }
  if (shown.size() <= 1)
    return shown.value(0);
  const QString last = shown.takeLast();
  return QCoreApplication::translate("DesktopNotifier", "%1 and %2").arg(shown.join(comma), last);
}

}  // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, std::chrono::milliseconds longest_wait)
    : m_bus(std::move(bus)) {
  m_longestWait.setSingleShot(true);
  m_longestWait.setInterval(longest_wait);
  connect(&m_longestWait, &QTimer::timeout, this, &DesktopNotifier::Withdraw);
}

DesktopNotifier::~DesktopNotifier() = default;

QString DesktopNotifier::SummaryText() {
  return QCoreApplication::translate("DesktopNotifier", "Updates available");
}

QString DesktopNotifier::BodyText(const PendingSummary& pending) {
  const QString providers = ProviderList(pending.providers);
  if (pending.items == 1)
    return QCoreApplication::translate("DesktopNotifier",
                                       "1 new item from %1 is waiting to be downloaded.")
        .arg(providers);
  return QCoreApplication::translate("DesktopNotifier",
                                     "%1 new items from %2 are waiting to be downloaded.")
      .arg(QLocale().toString(qulonglong(pending.items)), providers);
}

bool DesktopNotifier::ServiceReachable() {
  QDBusConnectionInterface* bus = m_bus.interface();
  if (bus == nullptr)
    return false;
  if (bus->isServiceRegistered(kService).value())
    return true;
  // Many desktops start their notification service on its first call.
  const QDBusReply<QStringList> startable = bus->call(QStringLiteral("ListActivatableNames"));
  return startable.isValid() && startable.value().contains(kService);
}

DesktopNotifier::Outcome DesktopNotifier::Show(const QString& summary, const QString& body) {
  m_bFinished = false;
  m_outcome = Outcome::kUnavailable;
  m_nId = 0;
  m_notifyCall.reset();
  m_bCloseSent = false;
  if (m_bWithdrawn)
    return Outcome::kWithdrawn;
  if (!m_bus.isConnected() || !ServiceReachable())
    return Outcome::kUnavailable;

  // Connected before the notification exists, so that no answer to it can
  // come first.
  m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
  m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
  // A service that goes away takes its notification with it.
  QDBusServiceWatcher watcher(kService, m_bus, QDBusServiceWatcher::WatchForUnregistration);
  connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, this,
          [this] { Finish(m_nId != 0 ? Outcome::kClosed : Outcome::kUnavailable); });

  // Every call is asynchronous: the wait runs the event loop, which a
  // blocking call would hold up.
  auto* capabilities = new QDBusPendingCallWatcher(
      m_bus.asyncCall(ServiceCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
  connect(capabilities, &QDBusPendingCallWatcher::finished, this,
          [this, summary, body](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<QStringList> reply = *call;
            if (reply.isError())
              Finish(Outcome::kUnavailable);
            else
              OnCapabilities(reply.value(), summary, body);
          });

  QEventLoop loop;
  m_pLoop = &loop;
  m_longestWait.start();
  if (!m_bFinished)
    loop.exec();
  m_longestWait.stop();
  m_pLoop = nullptr;
  m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                   SLOT(OnActionInvoked(uint, QString)));
  m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                   SLOT(OnNotificationClosed(uint, uint)));
  return m_outcome;
}

void DesktopNotifier::OnCapabilities(const QStringList& capabilities, const QString& summary,
                                     const QString& body) {
  if (m_bFinished)
    return;
  // Without actions the notification could not open the window, the one
  // place where the items can be downloaded.
  if (!capabilities.contains(QStringLiteral("actions"))) {
    Finish(Outcome::kUnavailable);
    return;
  }
  // Provider names are the providers' own texts: a service that reads
  // markup must not take them for any.
  const QString shown_body =
      capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
  const QString label = QCoreApplication::translate("DesktopNotifier", "Show Updates");
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("gantrell"));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
  QDBusMessage notify = ServiceCall(QStringLiteral("Notify"));
  notify << QStringLiteral("Gantrell") << uint(0) << QStringLiteral("gantrell") << summary
         << shown_body
         << QStringList{QStringLiteral("default"), label, QStringLiteral("show"), label} << hints
         << int(-1);
  m_notifyCall = m_bus.asyncCall(notify, kCallTimeoutMs);
  auto* call = new QDBusPendingCallWatcher(*m_notifyCall, this);
  connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
    done->deleteLater();
    const QDBusPendingReply<uint> reply = *done;
    if (reply.isError() || reply.value() == 0) {
      Finish(Outcome::kUnavailable);
      return;
    }
    OnNotified(reply.value());
  });
}

void DesktopNotifier::OnNotified(uint id) {
  if (m_bCloseSent)
    return;
  m_nId = id;
  // Withdrawn while the service was still answering.
  if (m_bFinished)
    CloseNotification();
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action_key) {
  (void)action_key;  // both actions open the window
  if (m_nId != 0 && id == m_nId)
    Finish(Outcome::kActionInvoked);
}

void DesktopNotifier::OnNotificationClosed(uint id, uint reason) {
  (void)reason;  // expired, dismissed or closed: the items wait either way
  if (m_nId != 0 && id == m_nId)
    Finish(Outcome::kClosed);
}

void DesktopNotifier::Withdraw() {
  m_bWithdrawn = true;
  if (m_pLoop == nullptr || m_bFinished)
    return;
  // Finished first: closing makes the service send NotificationClosed.
  Finish(Outcome::kWithdrawn);
  CloseNotification();
}

void DesktopNotifier::OpenWindow() {
  if (m_pLoop == nullptr || m_bFinished)
    return;
  m_bWindowAsked = true;
  Withdraw();
}

void DesktopNotifier::Finish(Outcome outcome) {
  if (m_bFinished)
    return;
  m_bFinished = true;
  m_outcome = outcome;
  if (m_pLoop != nullptr)
    m_pLoop->quit();
}

void DesktopNotifier::CloseNotification() {
  // Withdrawn before the service said which notification it showed (a
  // hand-off or an end request that came first): its answer is waited for,
  // since the wait ends before the answer would be read, and the
  // notification would otherwise stay on the screen with nobody behind it.
  if (m_nId == 0 && m_notifyCall && !m_bCloseSent) {
    m_notifyCall->waitForFinished();
    const QDBusPendingReply<uint> reply = *m_notifyCall;
    if (reply.isValid())
      m_nId = reply.value();
  }
  if (m_nId == 0 || m_bCloseSent)
    return;
  m_bCloseSent = true;
  QDBusMessage close = ServiceCall(QStringLiteral("CloseNotification"));
  close << uint(m_nId);
  m_nId = 0;
  // Waited for, so that it has left before the program ends; the events it
  // lets through find the wait finished.
  m_bus.call(close, QDBus::BlockWithGui, kCallTimeoutMs);
}

PendingAnswer DesktopNotifier::OfferWindow(CClientApp& app, QDBusConnection bus,
                                           std::chrono::milliseconds longest_wait) {
  const PendingSummary pending = SummarizePending(app);
  // Nothing the window would list: it opens as after a plain "-s".
  if (pending.items == 0)
    return PendingAnswer::kShowWindow;
  DesktopNotifier notifier(std::move(bus), longest_wait);

  // This check holds the single-instance lock while it waits, so a start
  // by the user hands its addresses here: the window opens to ask about
  // them.
  std::string error;
  const std::unique_ptr<HandOffListener> hand_off = HandOffListener::Open(
      kWindowTitle,
      [&notifier] {
        QMetaObject::invokeMethod(
            &notifier, [&notifier] { notifier.OpenWindow(); }, Qt::QueuedConnection);
      },
      &error);
  QTimer end_check;
  end_check.setInterval(kEndCheckMs);
  connect(&end_check, &QTimer::timeout, &notifier, [&app, &notifier] {
    if (app.end_requested())
      notifier.Withdraw();
  });
  end_check.start();
  if (app.end_requested())
    notifier.Withdraw();

  switch (notifier.Show(SummaryText(), BodyText(pending))) {
    case Outcome::kUnavailable:
      return PendingAnswer::kShowWindow;
    case Outcome::kActionInvoked:
      return PendingAnswer::kUserAsked;
    case Outcome::kClosed:
      return PendingAnswer::kLater;
    case Outcome::kWithdrawn:
      break;
  }
  return notifier.window_asked() ? PendingAnswer::kUserAsked : PendingAnswer::kLater;
}

}  // namespace gantrell::ui
