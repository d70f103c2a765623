// The desktop notification of "gantrell -s --notify": a silent check that
// found items pending tells the user through the freedesktop notification
// service on the session bus (org.freedesktop.Notifications) instead of
// opening the main window over whatever they are doing, and opens it only
// when they choose the notification's action.
//
// Interface thread only. Show runs the event loop while it waits.
#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>

#include "app/frontend.h"

class QEventLoop;

namespace gantrell {
struct PendingSummary;
}

namespace gantrell::ui {

class DesktopNotifier : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    // Nothing was shown: no bus, no owner of the service's name (and none
    // the bus can start), a service without actions, or a call that failed.
    kUnavailable,
    kActionInvoked,  // the user chose one of its actions
    kClosed,         // the user or the service closed it, or it expired
    kWithdrawn,      // Withdraw, OpenWindow or the longest wait closed it
  };

  // A notification is left standing this long at most (the timer checks
  // daily, and a process waiting for an answer holds the single-instance
  // lock): then it is withdrawn and the items wait for the next check.
  static constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(12);

  explicit DesktopNotifier(QDBusConnection bus,
                           std::chrono::milliseconds longest_wait = kLongestWait);
  ~DesktopNotifier() override;

  // Shows a notification with the application's name and icon, `summary`
  // and `body` (markup-escaped where the service reads markup) and the
  // actions "default" and "show", both labelled "Show Updates", and waits
  // until it is acted on, closed or withdrawn. The notification is gone
  // from the screen when this returns with kWithdrawn.
  Outcome Show(const QString& summary, const QString& body);

  // End a wait in Show (or make the next Show end at once) with kWithdrawn
  // and close the notification; OpenWindow records that the window was
  // asked for another way (a start by the user). Interface thread; other
  // threads queue the call to it.
  void Withdraw();
  void OpenWindow();
  // Whether the last wait ended through OpenWindow.
  bool window_asked() const { return m_bWindowAsked; }

  // The whole quiet check for a frontend (Frontend::OnPendingFound): tells
  // what the main window would list, listens for other instances' hand-offs
  // while it waits (a start by the user with addresses: the notification
  // goes and the window opens, to ask about them) and ends the wait when
  // the program is asked to end. kShowWindow without a service; kUserAsked
  // after the action or a hand-off; kLater otherwise.
  static PendingAnswer OfferWindow(CClientApp& app, QDBusConnection bus,
                                   std::chrono::milliseconds longest_wait = kLongestWait);

  // "Updates available", and what is waiting: "1 new item from A is
  // waiting to be downloaded." or "N new items from A, B and C are
  // waiting to be downloaded.", naming at most three providers ("A, B, C
  // and 17 more").
  static QString SummaryText();
  static QString BodyText(const PendingSummary& pending);

 private Q_SLOTS:
  void OnActionInvoked(uint id, const QString& action_key);
  void OnNotificationClosed(uint id, uint reason);

 private:
  void OnCapabilities(const QStringList& capabilities, const QString& summary,
                      const QString& body);
  void OnNotified(uint id);
  void Finish(Outcome outcome);
  void CloseNotification();
  bool ServiceReachable();

  QDBusConnection m_bus;
  QTimer m_longestWait;
  QEventLoop* m_pLoop = nullptr;
  Outcome m_outcome = Outcome::kUnavailable;
  bool m_bFinished = false;
  bool m_bWithdrawn = false;
  bool m_bWindowAsked = false;
  std::uint32_t m_nId = 0;  // the service's id of the notification; 0 none
  std::optional<QDBusPendingCall> m_notifyCall;  // the Notify call, once sent
  bool m_bCloseSent = false;
};

}  // namespace gantrell::ui
