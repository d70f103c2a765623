// "Downloading": the worker reaches the dialog only through queued calls,
// a report holds the worker until its box is answered, and Cancel (also
// Escape) stops the run without closing the dialog before the worker ends.
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/main_window_model.h"
#include "model/pruning.h"
#include "ui/download_dlg.h"
#include "support/test_paths.h"
#include "ui_fixture.h"

namespace gantrell::ui::testing {

class DownloadDlgTest : public QObject {
  Q_OBJECT

 private:
  // Registers a site with the given items (number = position + 1) and
  // selects them all for download.
  void SetUpSite(const std::vector<std::string>& bodies) {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      m_site->AddItem("item" + std::to_string(i + 1) + ".bin", static_cast<int>(i + 1), bodies[i]);
    }
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    QCOMPARE(FillPendingList(m_fixture->app()).size(), bodies.size());
  }

  std::unique_ptr<UiFixture> m_fixture;
  std::unique_ptr<TestSite> m_site;

 private Q_SLOTS:
  void init() { m_fixture = std::make_unique<UiFixture>(); }
  void cleanup() {
    QCOMPARE(UserPrompts::Unanswered(), 0);
    m_site.reset();
    m_fixture.reset();
  }

  void showsTheItemAndTheProgress() {
    SetUpSite({std::string(20000, 'a')});
    m_fixture->server().ServeSlowly("/p/1.dat", std::string(20000, 'a'), 1000,
                                    std::chrono::milliseconds(40));
    QString title;
    QString name;
    Qt::WindowFlags flags;
    int item_bar_max = 0;
    int shown_progress = -1;
    WhenShown<CDownloadDlg>([&](CDownloadDlg* dialog) {
      title = dialog->windowTitle();
      flags = dialog->windowFlags();
      item_bar_max = dialog->findChild<QProgressBar*>("itemProgress")->maximum();
      // The name appears with the next refresh of the timer.
      auto* poll = new QTimer(dialog);
      QObject::connect(poll, &QTimer::timeout, [&, dialog, poll] {
        auto* item_bar = dialog->findChild<QProgressBar*>("itemProgress");
        name = dialog->findChild<QLineEdit*>("itemNameText")->text();
        if (!name.isEmpty() && item_bar->value() > 0) {
          shown_progress = item_bar->value();
          poll->stop();
        }
      });
      poll->start(5);
    });
    QCOMPARE(m_fixture->app().RunDownloads(), 1);
    QCOMPARE(title, QString("Downloading"));
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QCOMPARE(item_bar_max, 100);
    QCOMPARE(name, QString("item1.bin"));
    QVERIFY(shown_progress > 0 && shown_progress <= 100);
    QVERIFY(m_fixture->TakeTexts().isEmpty());
  }

  // An item that continues a kept part file says so in its line, and its
  // bar starts at the kept share.
  void aResumedItemSaysSoInItsLine() {
    const std::string body(20000, 'r');
    SetUpSite({body});
    CUpdateItem* item = FillPendingList(m_fixture->app()).front();
    const std::string kept = KeptPartPath(m_fixture->app().GetItemSavePath(*item),
                                          item->m_nNumber, item->m_nStamp);
    std::ofstream(kept, std::ios::binary) << body.substr(0, 10000);
    std::ofstream(kept + ".info") << "length 20000\nvalidator \"v1\"\n";
    m_fixture->server().ServeSlowly("/p/1.dat", body, 1000, std::chrono::milliseconds(40));
    m_fixture->server().AcceptRanges("/p/1.dat", "\"v1\"");
    QString name;
    int first_progress = -1;
    WhenShown<CDownloadDlg>([&](CDownloadDlg* dialog) {
      auto* poll = new QTimer(dialog);
      QObject::connect(poll, &QTimer::timeout, [&, dialog, poll] {
        auto* item_bar = dialog->findChild<QProgressBar*>("itemProgress");
        if (first_progress < 0 && item_bar->value() > 0)
          first_progress = item_bar->value();
        name = dialog->findChild<QLineEdit*>("itemNameText")->text();
        if (!name.isEmpty() && first_progress >= 0)
          poll->stop();
      });
      poll->start(5);
    });
    QCOMPARE(m_fixture->app().RunDownloads(), 1);
    QCOMPARE(name, QString("resuming item1.bin at 50%"));
    QVERIFY(first_progress >= 50);
    QCOMPARE(m_fixture->server().LastHeader("/p/1.dat", "Range"), std::string("bytes=10000-"));
    QCOMPARE(item->m_nFileStamp, item->m_nStamp);
    QVERIFY(!std::filesystem::exists(kept));
  }

  // The first item's signature is an error page: its report is on screen
  // while the worker waits; the second item is fetched only after.
  void reportHoldsTheWorkerUntilAnswered() {
    SetUpSite({"first", "second"});
    m_fixture->server().Serve("/p/1.sig", "<html>not here</html>", 404);
    int second_requests_during_box = -1;
    UserPrompts::SetShownHook([&](const UserPrompts::Shown&) {
      second_requests_during_box = m_fixture->server().RequestCount("/p/2.sig");
    });
    UserPrompts::SetNextAnswer(MessageAnswer::kOk);
    QCOMPARE(m_fixture->app().RunDownloads(), 1);
    QCOMPARE(second_requests_during_box, 0);
    const QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("Bad signature file format. Download aborted."));
    QCOMPARE(shown[0].icon, MessageIcon::kError);
    QCOMPARE(m_fixture->server().RequestCount("/p/2.dat"), 1);
  }

  // A verified download whose place holds a file that is not the item's
  // asks there, on the interface thread, No the default; No keeps the
  // file and Yes replaces it.
  void aFileOfTheUsersAtThePlaceIsReplacedOnlyOnYes() {
    SetUpSite({"published"});
    CUpdateItem* item = FillPendingList(m_fixture->app()).front();
    const std::string path = m_fixture->app().GetItemSavePath(*item);
    for (const MessageAnswer answer : {MessageAnswer::kNo, MessageAnswer::kYes}) {
      std::ofstream(path) << "the user's";
      item->m_bSelected = true;
      UserPrompts::SetNextAnswer(answer);
      QCOMPARE(m_fixture->app().RunDownloads(), 1);
      const QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
      QCOMPARE(shown.size(), 1);
      QCOMPARE(shown[0].text,
               QString::fromStdString("File already exists at " + path + ". Overwrite?"));
      QVERIFY(shown[0].buttons == MessageButtons::kYesNoDefaultNo);
      QCOMPARE(gantrell::testing::ReadWholeFile(path),
               std::string(answer == MessageAnswer::kYes ? "published" : "the user's"));
      QCOMPARE(item->m_nFileStamp != -1, answer == MessageAnswer::kYes);
    }
  }

  void escapeCancelsButTheDialogWaitsForTheWorker() {
    SetUpSite({std::string(5000, 'b')});
    m_fixture->server().ServeStall("/p/1.dat", 5000);
    bool visible_after_escape = false;
    bool cancel_enabled = true;
    WhenShown<CDownloadDlg>([&](CDownloadDlg* dialog) {
      auto* poll = new QTimer(dialog);
      QObject::connect(poll, &QTimer::timeout, [&, dialog, poll] {
        if (m_fixture->server().RequestCount("/p/1.dat") == 0)
          return;
        poll->stop();
        QTest::keyClick(dialog, Qt::Key_Escape);
        visible_after_escape = dialog->isVisible();
        cancel_enabled = dialog->findChild<QPushButton*>("cancelButton")->isEnabled();
      });
      poll->start(5);
    });
    QCOMPARE(m_fixture->app().RunDownloads(), 1);
    QVERIFY(visible_after_escape);
    QVERIFY(!cancel_enabled);
    QVERIFY(m_fixture->TakeTexts().isEmpty());
    const CUpdateItem& item = *m_fixture->app().GetProvider(5)->GetGroup(0)->GetItem(0);
    QVERIFY(item.m_bSelected);
    QVERIFY(item.m_nTakenStamp != item.m_nStamp);
  }
};

}  // namespace gantrell::ui::testing

QTEST_MAIN(gantrell::ui::testing::DownloadDlgTest)
#include "download_dlg_test.moc"
