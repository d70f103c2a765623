// "Please Wait" and the wait handshake: it closes whether the job ends
// before the dialog shows or after, and Cancel (or Escape) ends the wait.
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <thread>

#include "app/wait_handshake.h"
#include "ui/wait_dlg.h"
#include "ui_fixture.h"

namespace gantrell::ui::testing {

class WaitDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void jobEndedBeforeTheDialogShows() {
    CWaitHandshake handshake;
    handshake.Reset();
    handshake.SignalDone(false);
    DialogLog dialogs;
    CWaitDlg dialog(handshake);
    QCOMPARE(dialog.Run(), 1);
    QVERIFY(dialogs.shown.isEmpty());
  }

  void jobEndsWhileTheDialogIsUp() {
    CWaitHandshake handshake;
    handshake.Reset();
    std::thread job;
    QString label;
    WhenShown<CWaitDlg>([&](CWaitDlg* dialog) {
      label = dialog->findChild<QLabel*>("waitLabel")->text();
      // The job's end notice comes from its own thread.
      job = std::thread([&handshake] { handshake.SignalDone(false); });
    });
    CWaitDlg dialog(handshake);
    QCOMPARE(dialog.windowTitle(), QString("Please Wait"));
    QCOMPARE(dialog.Run(), 1);
    job.join();
    QCOMPARE(label, QString("Downloading Update Lists"));
    QVERIFY(!dialog.isVisible());
  }

  void cancelEndsTheWait_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Escape") << true;
  }
  void cancelEndsTheWait() {
    QFETCH(bool, escape);
    CWaitHandshake handshake;
    handshake.Reset();
    WhenShown<CWaitDlg>([escape](CWaitDlg* dialog) {
      if (escape)
        QTest::keyClick(dialog, Qt::Key_Escape);
      else
        QTest::mouseClick(dialog->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    });
    CWaitDlg dialog(handshake);
    QCOMPARE(dialog.Run(), 2);
    // The job reads the cancel from the handshake; its late end notice
    // reaches no dialog.
    QVERIFY(handshake.FetchDone());
    handshake.SignalDone(false);
    QCoreApplication::processEvents();
  }

  // A whole fetch through the application: the frontend's wait dialog
  // closes when the background thread ends.
  void fetchThroughTheApplication() {
    UiFixture fixture;
    DialogLog dialogs;
    QCOMPARE(fixture.app().FetchProvider(-1), 1);
    fixture.app().JoinWorkThread();
    QVERIFY(dialogs.shown.size() <= 1);
    QVERIFY(fixture.server().ConnectionCount() > 0);
  }
};

}  // namespace gantrell::ui::testing

QTEST_MAIN(gantrell::ui::testing::WaitDlgTest)
#include "wait_dlg_test.moc"
