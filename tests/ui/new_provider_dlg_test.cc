// The new-provider dialog: the field's limit, the four refusals with the
// dialog left open on the user's text, and the accepted address.
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "dialog_test_util.h"
#include "ui/new_provider_dlg.h"

namespace gantrell::ui_test {

using ui::CNewProviderDlg;
using ui::UserPrompts;

class NewProviderDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() {
    UserPrompts::SetAutomaticAnswers(true);
    UserPrompts::Reset();
  }

  void RefusalsKeepTheDialogOpen_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("not a folder") << "http://example.org/updates"
                                  << "Object must be a directory";
    QTest::newRow("another scheme") << "ftp://example.org/"
                                    << "The resource must be a legal web address";
    QTest::newRow("no server") << "http://"
                               << "Unable to parse this web address";
  }
  void RefusalsKeepTheDialogOpen() {
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    CNewProviderDlg dialog;
    dialog.show();
    auto* field = dialog.findChild<QLineEdit*>("addressEdit");
    field->setText(typed);
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(field->text(), typed);
    const auto shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, refusal);
    QVERIFY(shown[0].icon == MessageIcon::kError);
    QVERIFY(shown[0].buttons == MessageButtons::kOk);
  }

  void AnEmptyFieldIsRefused() {
    CNewProviderDlg dialog;
    dialog.show();
    QTest::keyClick(dialog.findChild<QLineEdit*>("addressEdit"), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QCOMPARE(UserPrompts::TakeShown().size(), 1);
  }

  void AcceptedAddresses_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::newRow("no scheme") << "example.org/"
                               << "http://example.org/";
    QTest::newRow("port 80") << "http://example.org:80/"
                             << "http://example.org:80/";
    QTest::newRow("a bare server") << "127.0.0.1"
                                   << "http://127.0.0.1/";
    QTest::newRow("another port, below the root") << "https://example.org:8443/updates/"
                                                  << "https://example.org:8443/updates/";
  }
  void AcceptedAddresses() {
    QFETCH(QString, typed);
    QFETCH(QString, address);
    CNewProviderDlg dialog;
    QCOMPARE(dialog.windowTitle(), QString("New Provider"));
    dialog.show();
    auto* field = dialog.findChild<QLineEdit*>("addressEdit");
    QCOMPARE(field->maxLength(), 256);
    field->setText(typed);
    SaveScreenshot(dialog, "new_provider_dlg");
    QTest::keyClick(field, Qt::Key_Return);  // OK is the default
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(dialog.Address()), address);
    QCOMPARE(UserPrompts::TakeShown().size(), 0);
  }
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::NewProviderDlgTest)
#include "new_provider_dlg_test.moc"
