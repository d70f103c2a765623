// "gantrell -s --notify" against a private session bus (a dbus-daemon of
// its own, which can start nothing) with a notification service played by
// the test: what Notify is given, how each answer ends the wait, the
// fallback to the window without a service, and the silent start-up that
// opens the main window only after the action.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>
#include <functional>

#include "app/main_window_model.h"
#include "platform/single_instance.h"
#include "ui/desktop_notifier_posix.h"
#include "ui/main_dlg.h"
#include "ui_fixture.h"

namespace gantrell::ui::testing {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// A bus that lets anyone own any name and has no service folders, so that
// no notification daemon installed on the machine can be started on it.
// (Plain literals: moc does not read raw strings.)
constexpr const char* kBusConfig =
    "<busconfig>\n"
    "  <type>session</type>\n"
    "  <listen>unix:tmpdir=/tmp</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

struct NotifyCall {
  QString app_name;
  uint replaces_id = 0;
  QString icon;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
  int expire_timeout = 0;
};

}  // namespace

// The notification service, on a connection of its own. `answer` runs
// once the reply to Notify has left, with the notification's id.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit FakeNotifications(const QString& address)
      : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("fake-notifications"))) {
    m_bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
    m_bus.registerService(kService);
  }
  ~FakeNotifications() override {
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
  }

  void Emit(const QString& signal, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, signal);
    message.setArguments(arguments);
    m_bus.send(message);
  }
  void Leave() { m_bus.unregisterService(kService); }

  QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
  std::function<void(uint)> answer;
  // Runs before the reply to Notify leaves.
  std::function<void()> before_reply;
  QList<NotifyCall> notified;
  QList<uint> closed;

 public Q_SLOTS:
  QStringList GetCapabilities() { return capabilities; }
  uint Notify(const QString& app_name, uint replaces_id, const QString& icon,
              const QString& summary, const QString& body, const QStringList& actions,
              const QVariantMap& hints, int expire_timeout) {
    notified.append(
        {app_name, replaces_id, icon, summary, body, actions, hints, expire_timeout});
    const uint id = 40 + static_cast<uint>(notified.size());
    if (before_reply)
      before_reply();
    if (answer)
      QTimer::singleShot(0, this, [this, id] { answer(id); });
    return id;
  }
  void CloseNotification(uint id) {
    closed.append(id);
    Emit(QStringLiteral("NotificationClosed"), {id, 3u});
  }

 private:
  QDBusConnection m_bus;
};

class DesktopNotifierTest : public QObject {
  Q_OBJECT

 private:
  using Outcome = DesktopNotifier::Outcome;

  QDBusConnection Bus() { return QDBusConnection::sessionBus(); }

  // A registered site with `count` items, saved, for a silent start-up
  // that reads it without fetching.
  void SetUpPending(int count) {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    for (int i = 1; i <= count; ++i)
      m_site->AddItem("item" + std::to_string(i) + ".bin", i, std::string(10 * i, 'x'));
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    QVERIFY(m_fixture->app().SaveStore());
    m_fixture->app().m_options.offline = true;
    m_fixture->app().m_options.data_folder = m_fixture->app().m_strDataPath;
  }

  // Runs "gantrell -s" (with "--notify") on the prepared folder; the main
  // window, when it opens, is closed and counted.
  StartupResult SilentStart(int* windows) {
    m_fixture->frontend().SetNotifyWhenPending(true);
    auto* closer = new QTimer(this);
    connect(closer, &QTimer::timeout, [windows] {
      auto* window = qobject_cast<CMainDlg*>(QApplication::activeModalWidget());
      if (window == nullptr || !window->isVisible() || window->property("seen").toBool())
        return;
      window->setProperty("seen", true);
      ++*windows;
      window->reject();
    });
    closer->start(5);
    const StartupResult result = m_fixture->app().InitInstance({"-s"});
    delete closer;
    return result;
  }

  QProcess m_daemon;
  QTemporaryDir m_busFolder;
  std::unique_ptr<FakeNotifications> m_service;
  std::unique_ptr<UiFixture> m_fixture;
  std::unique_ptr<TestSite> m_site;

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(m_busFolder.isValid());
    const QString config = m_busFolder.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kBusConfig);
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
                    QStringLiteral("--nofork")});
    QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon (scripts/install-deps) did not start");
    QTRY_VERIFY(m_daemon.canReadLine());
    const QByteArray address = m_daemon.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    // Before the first use of the session bus, which is what the client
    // connects to.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(Bus().isConnected());
  }
  void cleanupTestCase() {
    m_daemon.terminate();
    m_daemon.waitForFinished();
  }
  void init() {
    m_fixture = std::make_unique<UiFixture>();
    m_service = std::make_unique<FakeNotifications>(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    QTRY_VERIFY(Bus().interface()->isServiceRegistered(kService).value());
  }
  void cleanup() {
    m_service.reset();
    m_site.reset();
    m_fixture.reset();
  }

  void bodyText_data() {
    QTest::addColumn<int>("items");
    QTest::addColumn<QStringList>("providers");
    QTest::addColumn<QString>("body");
    QTest::newRow("one item") << 1 << QStringList{"Example Tools"}
                              << "1 new item from Example Tools is waiting to be downloaded.";
    QTest::newRow("two from one") << 2 << QStringList{"A"}
                                  << "2 new items from A are waiting to be downloaded.";
    QTest::newRow("two providers") << 5 << QStringList{"A", "B"}
                                   << "5 new items from A and B are waiting to be downloaded.";
    QTest::newRow("three named") << 3 << QStringList{"A", "B", "C"}
                                 << "3 new items from A, B and C are waiting to be downloaded.";
    QTest::newRow("more than three")
        << 20 << QStringList{"P1", "P2", "P3", "P4", "P5"}
        << "20 new items from P1, P2, P3 and 2 more are waiting to be downloaded.";
    // A provider's name is its own text: a "%1" in it stays as it is.
    QTest::newRow("placeholder in a name")
        << 2 << QStringList{"50%1 off", "B"}
        << "2 new items from 50%1 off and B are waiting to be downloaded.";
  }
  void bodyText() {
    QFETCH(int, items);
    QFETCH(QStringList, providers);
    QFETCH(QString, body);
    PendingSummary pending;
    pending.items = static_cast<std::size_t>(items);
    for (const QString& name : providers)
      pending.providers.push_back(name.toStdString());
    QCOMPARE(DesktopNotifier::BodyText(pending), body);
  }

  void notifyIsGivenWhatTheServiceShows() {
    m_service->answer = [this](uint id) {
      m_service->Emit(QStringLiteral("ActionInvoked"), {id, QStringLiteral("default")});
    };
    DesktopNotifier notifier(Bus());
    QCOMPARE(notifier.Show(QStringLiteral("Updates available"), QStringLiteral("3 <new> & more")),
             Outcome::kActionInvoked);
    QCOMPARE(m_service->notified.size(), 1);
    const NotifyCall& call = m_service->notified.first();
    QCOMPARE(call.app_name, QStringLiteral("Gantrell"));
    QCOMPARE(call.replaces_id, 0u);
    QCOMPARE(call.icon, QStringLiteral("gantrell"));
    QCOMPARE(call.summary, QStringLiteral("Updates available"));
    // The service reads no markup: the text goes as it is.
    QCOMPARE(call.body, QStringLiteral("3 <new> & more"));
    QCOMPARE(call.actions, (QStringList{"default", "Show Updates", "show", "Show Updates"}));
    QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(),
             QStringLiteral("gantrell"));
    QCOMPARE(call.expire_timeout, -1);
    QVERIFY(m_service->closed.isEmpty());
  }

  void aServiceThatReadsMarkupGetsTheTextEscaped() {
    m_service->capabilities.append(QStringLiteral("body-markup"));
    m_service->answer = [this](uint id) {
      m_service->Emit(QStringLiteral("NotificationClosed"), {id, 2u});
    };
    DesktopNotifier notifier(Bus());
    QCOMPARE(notifier.Show(QStringLiteral("S"), QStringLiteral("<b>A&B</b>")), Outcome::kClosed);
    QCOMPARE(m_service->notified.value(0).body, QStringLiteral("&lt;b&gt;A&amp;B&lt;/b&gt;"));
  }

  // How each answer, or none, ends the wait. Signals about other
  // notifications are not taken for this one's.
  void outcomes_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("closes");
    QTest::newRow("default action") << "action default" << int(Outcome::kActionInvoked) << 0;
    QTest::newRow("show action") << "action show" << int(Outcome::kActionInvoked) << 0;
    QTest::newRow("dismissed") << "closed 2" << int(Outcome::kClosed) << 0;
    QTest::newRow("expired") << "closed 1" << int(Outcome::kClosed) << 0;
    QTest::newRow("no answer: withdrawn at the longest wait")
        << "others" << int(Outcome::kWithdrawn) << 1;
    QTest::newRow("service leaves") << "leave" << int(Outcome::kClosed) << 0;
    QTest::newRow("service without actions") << "no actions" << int(Outcome::kUnavailable) << 0;
    QTest::newRow("no owner") << "no owner" << int(Outcome::kUnavailable) << 0;
  }
  void outcomes() {
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    QFETCH(int, closes);
    if (answer == "no actions")
      m_service->capabilities = {QStringLiteral("body")};
    if (answer == "no owner") {
      m_service->Leave();
      QTRY_VERIFY(!Bus().interface()->isServiceRegistered(kService).value());
    }
    m_service->answer = [this, answer](uint id) {
      // Another program's notification first.
      m_service->Emit(QStringLiteral("ActionInvoked"), {id + 100, QStringLiteral("default")});
      m_service->Emit(QStringLiteral("NotificationClosed"), {id + 100, 2u});
      const QStringList words = answer.split(' ');
      if (words[0] == "action")
        m_service->Emit(QStringLiteral("ActionInvoked"), {id, words[1]});
      else if (words[0] == "closed")
        m_service->Emit(QStringLiteral("NotificationClosed"), {id, words[1].toUInt()});
      else if (words[0] == "leave")
        m_service->Leave();
    };
    DesktopNotifier notifier(Bus(), std::chrono::milliseconds(300));
    QCOMPARE(int(notifier.Show(QStringLiteral("S"), QStringLiteral("B"))), outcome);
    QCOMPARE(m_service->closed.size(), closes);
    if (closes > 0)
      QCOMPARE(m_service->closed.first(), 41u);
    const bool shown = outcome != int(Outcome::kUnavailable);
    QCOMPARE(m_service->notified.size(), shown ? 1 : 0);
  }

  void noSessionBusIsNoService() {
    QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + m_busFolder.filePath(QStringLiteral("absent")),
        QStringLiteral("absent-bus"));
    QVERIFY(!none.isConnected());
    DesktopNotifier notifier(none);
    QCOMPARE(notifier.Show(QStringLiteral("S"), QStringLiteral("B")), Outcome::kUnavailable);
    QDBusConnection::disconnectFromBus(QStringLiteral("absent-bus"));
  }

  // The silent start-up: the notification names what the window would
  // list, and the window opens only on the action; without a service it
  // opens at once, as after a plain "-s".
  void silentStartUp_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("notifications");
    QTest::addColumn<int>("windows");
    QTest::newRow("action opens the window") << "action" << 1 << 1;
    QTest::newRow("closed: no window") << "closed" << 1 << 0;
    QTest::newRow("no service: the window") << "no owner" << 0 << 1;
    QTest::newRow("a start by the user hands over: the window") << "hand-off" << 1 << 1;
    // The hand-off comes before the service's reply is read: the
    // notification must still go.
    QTest::newRow("a hand-off before the reply: the window, the notification goes")
        << "early hand-off" << 1 << 1;
  }
  void silentStartUp() {
    QFETCH(QString, answer);
    QFETCH(int, notifications);
    QFETCH(int, windows);
    SetUpPending(3);
    if (answer == "no owner") {
      m_service->Leave();
      QTRY_VERIFY(!Bus().interface()->isServiceRegistered(kService).value());
    }
    m_service->answer = [this, answer](uint id) {
      if (answer == "action")
        m_service->Emit(QStringLiteral("ActionInvoked"), {id, QStringLiteral("show")});
      else if (answer == "closed")
        m_service->Emit(QStringLiteral("NotificationClosed"), {id, 2u});
      else if (answer == "hand-off")
        QVERIFY(NotifyHandOff("Gantrell"));
    };
    if (answer == "early hand-off") {
      m_service->before_reply = [] {
        QVERIFY(NotifyHandOff("Gantrell"));
        // Long enough for the listener to queue its notice first.
        QThread::msleep(100);
      };
    }
    int shown = 0;
    QCOMPARE(SilentStart(&shown), StartupResult::kEnded);
    QCOMPARE(shown, windows);
    QCOMPARE(m_service->notified.size(), notifications);
    if (notifications > 0) {
      QCOMPARE(m_service->notified.first().body,
               QStringLiteral("3 new items from Example Tools are waiting to be downloaded."));
    }
    QCOMPARE(m_service->closed.size(), answer.endsWith("hand-off") ? 1 : 0);
  }

  // Asked to end (a logout) while the notification waits: it goes, no
  // window opens, and the run ends as with nothing pending.
  void anEndRequestWithdrawsTheNotification() {
    SetUpPending(1);
    m_service->answer = [this](uint) { m_fixture->app().RequestEnd(); };
    int shown = 0;
    QCOMPARE(SilentStart(&shown), StartupResult::kEnded);
    QCOMPARE(shown, 0);
    QCOMPARE(m_service->notified.size(), 1);
    QCOMPARE(m_service->closed.size(), 1);
  }
};

}  // namespace gantrell::ui::testing

QTEST_MAIN(gantrell::ui::testing::DesktopNotifierTest)
#include "desktop_notifier_posix_test.moc"
