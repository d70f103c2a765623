// The configuration dialog's wiring: its controls show the session and
// every control reaches it.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "dialog_test_util.h"
#include "net/signature.h"
#include "ui/choose_filename_dlg.h"
#include "ui/config_dlg.h"
#include "ui/new_provider_dlg.h"

namespace gantrell::ui_test {

using ui::CConfigDlg;
using ui::UserPrompts;

namespace {

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i)
    rows << list->item(i)->text();
  return rows;
}

template <typename T>
T* Child(QWidget& dialog, const char* name) {
  T* child = dialog.findChild<T*>(name);
  if (child == nullptr)
    qFatal("no widget named %s", name);
  return child;
}

void SelectRow(QListWidget* list, int row) {
  list->clearSelection();
  list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

}  // namespace

class ConfigDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() { t = std::make_unique<TestApp>(); }
  void cleanup() { t.reset(); }

  void ShowsTheSessionWhenItOpens() {
    t->AddProvider("alpha", {1});
    std::string error;
    const PrivateKeyPtr key = GenerateEd25519Key(&error);
    QVERIFY(key != nullptr);
    const std::vector<std::uint8_t> record = MakeKeyRecord(*key);
    t->AddProvider("beta", {1, 0})->SetPublicKey(record.data(), static_cast<int>(record.size()));
    CConfigDlg dialog(t->app);
    QCOMPARE(dialog.windowTitle(), QString("Customise Addon Selection"));
    auto* combo = Child<QComboBox>(dialog, "providerCombo");
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QString("Gantrell"));
    QCOMPARE(combo->currentText(), QString("beta"));
    QCOMPARE(Child<QCheckBox>(dialog, "providerScanCheck")->checkState(), Qt::PartiallyChecked);
    QCOMPARE(Child<QLabel>(dialog, "providerKeyText")->text(), QString("Key: Ed25519"));
    QCOMPARE(Rows(Child<QListWidget>(dialog, "groupList")), QStringList({"Group 0", "Group 1"}));
    QCOMPARE(Child<QListWidget>(dialog, "itemList")->selectionMode(),
             QAbstractItemView::ExtendedSelection);
    QVERIFY(!Child<QPushButton>(dialog, "addProviderButton")->isHidden());

    // Another provider: its groups, its state applied.
    combo->setCurrentIndex(1);
    QCOMPARE(Child<QCheckBox>(dialog, "providerScanCheck")->checkState(), Qt::Checked);
    QCOMPARE(Child<QLabel>(dialog, "providerKeyText")->text(), QString("Key: none"));
    QCOMPARE(Rows(Child<QListWidget>(dialog, "downloadList")),
             QStringList({"alpha-g0-0.exe from alpha", "alpha-g0-1.exe from alpha"}));
  }

  void LockedProvidersHideAddAndDelete() {
    t->app.m_bLockProviders = true;
    CConfigDlg dialog(t->app);
    QVERIFY(Child<QPushButton>(dialog, "addProviderButton")->isHidden());
    QVERIFY(Child<QPushButton>(dialog, "deleteProviderButton")->isHidden());
  }

  void ScanBoxesReachTheSession() {
    CProvider* provider = t->AddProvider("beta", {1, 0});
    CConfigDlg dialog(t->app);
    dialog.show();
    auto* provider_box = Child<QCheckBox>(dialog, "providerScanCheck");
    auto* downloads = Child<QListWidget>(dialog, "downloadList");
    QTest::mouseClick(provider_box, Qt::LeftButton);  // mixed -> off
    QCOMPARE(provider_box->checkState(), Qt::Unchecked);
    QCOMPARE(provider->m_nScanModeEdit, 0);
    QCOMPARE(downloads->count(), 0);
    QTest::mouseClick(provider_box, Qt::LeftButton);  // off -> on
    QCOMPARE(provider_box->checkState(), Qt::Checked);
    QCOMPARE(provider->GetGroup(1)->m_bScanEdit, 1);
    QCOMPARE(downloads->count(), 2);

    SelectRow(Child<QListWidget>(dialog, "groupList"), 0);
    auto* group_box = Child<QCheckBox>(dialog, "groupScanCheck");
    QVERIFY(group_box->isChecked());
    QCOMPARE(Rows(Child<QListWidget>(dialog, "itemList")),
             QStringList({"beta-g0-0.exe", "beta-g0-1.exe"}));
    QTest::mouseClick(group_box, Qt::LeftButton);
    QCOMPARE(provider->GetGroup(0)->m_bScanEdit, 0);
    QCOMPARE(downloads->count(), 0);
    QCOMPARE(provider_box->checkState(), Qt::PartiallyChecked);
  }

  void ItemTextsAndAddToDownloadOnce() {
    CProvider* provider = t->AddProvider("beta", {0});
    CUpdateItem* item = provider->GetGroup(0)->GetItem(1);
    item->m_pCondition = std::make_unique<NeverHolds>();
    CConfigDlg dialog(t->app);
    dialog.show();
    SelectRow(Child<QListWidget>(dialog, "groupList"), 0);
    SelectRow(Child<QListWidget>(dialog, "itemList"), 1);
    QCOMPARE(Child<QPlainTextEdit>(dialog, "descriptionText")->toPlainText(),
             QString("Description of beta-g0-1.exe"));
    QCOMPARE(Child<QLabel>(dialog, "sizeText")->text(), QString("Size: 2.0M"));
    QCOMPARE(Child<QLabel>(dialog, "suitabilityText")->text(),
             QString("Item is unsuitable for this machine"));

    UserPrompts::SetNextAnswer(MessageAnswer::kYes);
    QTest::mouseClick(Child<QPushButton>(dialog, "addOnceButton"), Qt::LeftButton);
    const auto shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("This item is unsuitable for this machine.\n Do you really "
                                    "want to download it?"));
    QVERIFY(shown[0].icon == MessageIcon::kQuestion);
    QVERIFY(shown[0].buttons == MessageButtons::kYesNo);
    QCOMPARE(Rows(Child<QListWidget>(dialog, "downloadList")),
             QStringList({"beta-g0-1.exe from beta"}));
    SaveScreenshot(dialog, "config_dlg");

    // Delete takes the row off, Cancel brings the saved selection back.
    auto* downloads = Child<QListWidget>(dialog, "downloadList");
    SelectRow(downloads, 0);
    QTest::mouseClick(Child<QPushButton>(dialog, "deleteButton"), Qt::LeftButton);
    QCOMPARE(downloads->count(), 0);
    QVERIFY(!item->m_bSelected);
  }

  void DeleteProviderThenCancelOrOk() {
    for (bool ok : {false, true}) {
      t = std::make_unique<TestApp>();
      t->AddProvider("beta", {1});
      CConfigDlg dialog(t->app);
      dialog.show();
      auto* combo = Child<QComboBox>(dialog, "providerCombo");
      UserPrompts::SetNextAnswer(MessageAnswer::kYes);
      QTest::mouseClick(Child<QPushButton>(dialog, "deleteProviderButton"), Qt::LeftButton);
      QCOMPARE(UserPrompts::TakeShown().size(), 1);
      QCOMPARE(combo->count(), 1);
      QCOMPARE(combo->currentIndex(), -1);
      QCOMPARE(Child<QListWidget>(dialog, "groupList")->count(), 0);
      QCOMPARE(t->app.GetProviderCount(), 6);
      auto* buttons = Child<QDialogButtonBox>(dialog, "buttonBox");
      QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                        Qt::LeftButton);
      QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
      QCOMPARE(t->app.GetProviderCount(), ok ? 5 : 6);
    }
  }

  void TheOwnProviderRefusesDeletion() {
    CConfigDlg dialog(t->app);
    dialog.show();
    QTest::mouseClick(Child<QPushButton>(dialog, "deleteProviderButton"), Qt::LeftButton);
    const auto shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("This provider cannot be deleted."));
    QVERIFY(shown[0].icon == MessageIcon::kInformation);
  }

  void AddProviderRunsTheNewProviderDialog() {
    t->AddProvider("alpha", {1});
    CConfigDlg dialog(t->app);
    dialog.show();
    bool seen = false;
    // A known address registers nothing and shows nothing.
    WhenShown<ui::CNewProviderDlg>(
        [](ui::CNewProviderDlg* prompt) {
          prompt->findChild<QLineEdit*>("addressEdit")->setText("alpha.example/");
          prompt->accept();
        },
        &seen);
    QTest::mouseClick(Child<QPushButton>(dialog, "addProviderButton"), Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(!dialog.session().adding_providers());
    QVERIFY(dialog.session().pending_providers().empty());
    QCOMPARE(t->app.GetProviderCount(), 6);
    QCOMPARE(UserPrompts::TakeShown().size(), 0);
  }

  void CustomiseSaveLocationRunsForEachSelectedItem() {
    CProvider* provider = t->AddProvider("beta", {1});
    CConfigDlg dialog(t->app);
    dialog.show();
    SelectRow(Child<QListWidget>(dialog, "groupList"), 0);
    auto* items = Child<QListWidget>(dialog, "itemList");
    items->selectAll();
    QStringList captions;
    std::function<void(ui::CChooseFilenameDlg*)> answer;
    bool seen = false;
    answer = [&](ui::CChooseFilenameDlg* chooser) {
      captions << chooser->findChild<QLabel*>("captionText")->text();
      chooser->findChild<QLineEdit*>("pathEdit")
          ->setText(QString::fromStdString(
              t->downloads.File("custom" + std::to_string(captions.size()))));
      chooser->accept();
      if (captions.size() < 2) {
        seen = false;
        WhenShown<ui::CChooseFilenameDlg>(answer, &seen);
      }
    };
    WhenShown<ui::CChooseFilenameDlg>(answer, &seen);
    QTest::mouseClick(Child<QPushButton>(dialog, "saveLocationButton"), Qt::LeftButton);
    // From the last selected row to the first.
    QCOMPARE(captions, QStringList({"Choose location for item beta-g0-1.exe",
                                    "Choose location for item beta-g0-0.exe"}));
    QVERIFY(provider->GetGroup(0)->GetItem(1)->m_strSavePath == t->downloads.File("custom1"));
    QVERIFY(provider->GetGroup(0)->GetItem(0)->m_strSavePath == t->downloads.File("custom2"));
  }

 private:
  std::unique_ptr<TestApp> t;
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::ConfigDlgTest)
#include "config_dlg_test.moc"
