// The save-location dialog: caption, field, Browse through the file seam,
// OK with the move, the overwrite question and "Set to default".
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "dialog_test_util.h"
#include "ui/choose_filename_dlg.h"

namespace gantrell::ui_test {

using ui::CChooseFilenameDlg;
using ui::UserPrompts;

class ChooseFilenameDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() {
    t = std::make_unique<TestApp>();
    item = t->AddProvider("beta", {1})->GetGroup(0)->GetItem(0);
    item->m_strLocation = "bin\\beta.exe";
  }
  void cleanup() { t.reset(); }

  void ShowsTheItemAndBrowses() {
    item->m_strSavePath = "/somewhere/beta.exe";
    CChooseFilenameDlg dialog(t->app, *item);
    QCOMPARE(dialog.windowTitle(), QString("Choose Filename"));
    QCOMPARE(dialog.findChild<QLabel*>("captionText")->text(),
             QString("Choose location for item beta-g0-0.exe"));
    auto* field = dialog.findChild<QLineEdit*>("pathEdit");
    QCOMPARE(field->text(), QString("/somewhere/beta.exe"));

    UserPrompts::SetNextSaveFile("/chosen/file.exe");
    QTest::mouseClick(dialog.findChild<QPushButton*>("browseButton"), Qt::LeftButton);
    QCOMPARE(field->text(), QString("/chosen/file.exe"));
    field->clear();
    QTest::mouseClick(dialog.findChild<QPushButton*>("browseButton"), Qt::LeftButton);  // cancel
    QCOMPARE(field->text(), QString());
    const auto requests = UserPrompts::TakeSaveRequests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].file_name, QString("/somewhere/beta.exe"));
    QCOMPARE(requests[1].file_name, QString("beta.exe"));
    QCOMPARE(requests[1].filter, QString("Existing type (*.exe)|*.exe"));
    QCOMPARE(requests[1].default_extension, QString(".exe"));
    QCOMPARE(requests[1].title, QString("Choose Filename"));
  }

  void OkMovesTheFileAndSetToDefaultBringsItBack() {
    const std::string original = t->app.GetItemSavePath(*item);
    std::ofstream(original) << std::string(1024, 'x');
    item->m_nFileStamp = 7;
    const std::string target = t->downloads.File("moved.exe");
    std::ofstream(target) << "in the way";
    {
      CChooseFilenameDlg dialog(t->app, *item);
      dialog.show();
      dialog.findChild<QLineEdit*>("pathEdit")->setText(QString::fromStdString(target));
      SaveScreenshot(dialog, "choose_filename_dlg");
      UserPrompts::SetNextAnswer(MessageAnswer::kNo);
      auto* ok = dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
      QTest::mouseClick(ok, Qt::LeftButton);
      QVERIFY(dialog.isVisible());  // declined: still open, nothing moved
      QVERIFY(std::filesystem::exists(original));
      QCOMPARE(UserPrompts::TakeShown()[0].text,
               QString::fromStdString("File already exists at " + target + ". Overwrite?"));
      UserPrompts::SetNextAnswer(MessageAnswer::kYes);
      QTest::mouseClick(ok, Qt::LeftButton);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QVERIFY(!std::filesystem::exists(original));
      QCOMPARE(std::filesystem::file_size(target), std::uintmax_t{1024});
      QVERIFY(item->m_strSavePath == target);
    }
    CChooseFilenameDlg dialog(t->app, *item);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>("defaultButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(item->m_strSavePath.empty());
    QVERIFY(std::filesystem::exists(original));
    QVERIFY(!std::filesystem::exists(target));
  }

  void AFailedWriteKeepsTheDialogOpen() {
    const std::string original = t->app.GetItemSavePath(*item);
    std::ofstream(original) << "data";
    item->m_nFileStamp = 7;
    CChooseFilenameDlg dialog(t->app, *item);
    dialog.show();
    dialog.findChild<QLineEdit*>("pathEdit")
        ->setText(QString::fromStdString(t->downloads.File("no/such/dir/x.exe")));
    QTest::keyClick(dialog.findChild<QLineEdit*>("pathEdit"), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    const auto shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("Canot write to specified location"));
    QVERIFY(shown[0].icon == MessageIcon::kError);
    QVERIFY(item->m_strSavePath.empty());
  }

 private:
  std::unique_ptr<TestApp> t;
  CUpdateItem* item = nullptr;
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::ChooseFilenameDlgTest)
#include "choose_filename_dlg_test.moc"
