// "Choose download folder": the prompt asks until an existing folder is
// given, "Browse..." fills the field from the folder chooser, and the
// prompt works when the core asks for it from a worker thread.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

#include "ui/folder_dlg.h"
#include "ui_fixture.h"

namespace gantrell::ui::testing {
namespace {

using Step = std::function<void(CFolderDlg*)>;

void Press(CFolderDlg* dialog, QDialogButtonBox::StandardButton which) {
  auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
  QTest::mouseClick(buttons->button(which), Qt::LeftButton);
}

Step Type(const QString& text) {
  return [text](CFolderDlg* dialog) {
    QTest::keyClicks(dialog->findChild<QLineEdit*>("folderEdit"), text);
    Press(dialog, QDialogButtonBox::Ok);
  };
}

}  // namespace

class FolderDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void layout() {
    CFolderDlg dialog;
    QCOMPARE(dialog.windowTitle(), QString("Choose download folder"));
    // The texts carry mnemonics (Alt+F, Alt+B); what shows is the same.
    QCOMPARE(dialog.findChild<QLabel*>("folderLabel")->text(),
             QString("Choose a default download &folder"));
    QCOMPARE(dialog.findChild<QPushButton*>("browseButton")->text(), QString("&Browse..."));
    QVERIFY(!dialog.windowIcon().isNull());
  }

  // Cancel ends the prompt with no folder. Then a folder that does not
  // exist, then one picked with "Browse...": only the last ends the
  // prompt, and it is stored.
  void asksUntilAnExistingFolderIsGiven() {
    UiFixture fixture;
    fixture.app().profile().DeleteProfileEntry(kSettingsSection, "dlpath", nullptr);
    AnswerEach<CFolderDlg>({[](CFolderDlg* dialog) { Press(dialog, QDialogButtonBox::Cancel); }});
    QCOMPARE(fixture.app().AskDownloadFolder(), std::string("?"));
    QCOMPARE(fixture.app().profile().GetProfileString(kSettingsSection, "dlpath", "?"),
             std::string("?"));
    QVERIFY(UserPrompts::TakeShown().isEmpty());

    TempDir chosen;
    const QString folder = QString::fromStdString(chosen.path());
    QString typed_after_browse;
    AnswerEach<CFolderDlg>({
        Type("/no/such/folder"),
        [&](CFolderDlg* dialog) {
          UserPrompts::SetNextFolder(folder);
          QTest::mouseClick(dialog->findChild<QPushButton*>("browseButton"), Qt::LeftButton);
          typed_after_browse = dialog->findChild<QLineEdit*>("folderEdit")->text();
          Press(dialog, QDialogButtonBox::Ok);
        },
    });
    QCOMPARE(fixture.app().AskDownloadFolder(), chosen.path());
    QCOMPARE(typed_after_browse, folder);
    const QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("Folder does not exist."));
    QCOMPARE(shown[0].icon, MessageIcon::kError);
    QCOMPARE(fixture.app().profile().GetProfileString(kSettingsSection, "dlpath", "?"),
             chosen.path());
  }

  // A cancelled folder chooser leaves the field as it was.
  void cancelledBrowseKeepsTheField() {
    UiFixture fixture;
    CFolderDlg dialog;
    auto* edit = dialog.findChild<QLineEdit*>("folderEdit");
    edit->setText("/typed");
    UserPrompts::SetNextFolder(QString());
    QTest::mouseClick(dialog.findChild<QPushButton*>("browseButton"), Qt::LeftButton);
    QCOMPARE(edit->text(), QString("/typed"));
    QCOMPARE(dialog.Folder(), QString("/typed"));
  }

  // The core may ask from the download worker: the prompt and the message
  // still run on the interface thread, and the worker gets the answers.
  void worksFromAWorkerThread() {
    UiFixture fixture;
    QThread* prompt_thread = nullptr;
    AnswerEach<CFolderDlg>({[&](CFolderDlg* dialog) {
      prompt_thread = QThread::currentThread();
      Type("/from/worker")(dialog);
    }});
    std::string folder;
    PromptResult result = PromptResult::kUnavailable;
    std::atomic<bool> done{false};
    std::thread worker([&] {
      result = fixture.frontend().AskFolder(&folder);
      fixture.frontend().ShowMessage("Folder does not exist.", MessageIcon::kError,
                                     MessageButtons::kOk);
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(result, PromptResult::kOk);
    QCOMPARE(folder, std::string("/from/worker"));
    QCOMPARE(prompt_thread, QCoreApplication::instance()->thread());
    QCOMPARE(fixture.TakeTexts(), QStringList{"Folder does not exist."});
  }
};

}  // namespace gantrell::ui::testing

QTEST_MAIN(gantrell::ui::testing::FolderDlgTest)
#include "folder_dlg_test.moc"
