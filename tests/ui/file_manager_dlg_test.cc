// The "File Manager" dialog's wiring: the provider choice, the list, the
// texts, and the three buttons, with a recording shell and the save dialog
// answered through the prompts seam.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "platform/shell_open.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"
#include "ui/file_manager_dlg.h"
#include "ui/user_prompts.h"

// The icon and other resources live in the dialogs' static library.
static void InitResources() {
  Q_INIT_RESOURCE(gantrell);
}

namespace gantrell::ui {
namespace {

using gantrell::testing::ReadWholeFile;
using gantrell::testing::TempDir;
using gantrell::testing::TempRegistry;

class FailingCondition : public CCondition {
 public:
  bool Evaluate(const ConditionEnv&) const override { return false; }
  bool Parse(CTokenReader&) override { return true; }
  void Write(std::ostream&) const override {}
  std::unique_ptr<CCondition> Clone() const override {
    return std::make_unique<FailingCondition>();
  }
};

class RecordingShell : public ShellOpen {
 public:
  bool Open(const std::string& path, const std::string& folder,
            const std::string& parameters) override {
    opened.append(QString::fromStdString(path + "|" + folder + "|" + parameters));
    return true;
  }
  QStringList opened;
};

}  // namespace

class FileManagerDlgTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init();
  void cleanup();
  void opensOnThisSessionsFiles();
  void selectionShowsTheTexts();
  void openFromButtonAndDoubleClick();
  void copyOffersTheTypeAndCopies();
  void deleteDropsTheEntryWithoutAsking();
  void screenshot();

 private:
  CUpdateItem* AddFile(CProvider* provider, const std::string& name, int number,
                       const std::string& content, bool just_downloaded);
  CProvider* AddProvider(const std::string& name, const std::string& address);
  template <typename Widget>
  Widget* Find(QWidget* dialog, const char* name) {
    auto* widget = dialog->findChild<Widget*>(name);
    if (widget == nullptr)
      qFatal("no widget %s", name);
    return widget;
  }
  static QStringList Rows(QListWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
      rows.append(list->item(i)->text());
    return rows;
  }

  std::unique_ptr<TempRegistry> m_registry;
  std::unique_ptr<RegistryOsVersion> m_os;
  std::unique_ptr<CClientApp> m_app;
  std::unique_ptr<TempDir> m_downloads;
  RecordingShell m_shell;
  CProvider* m_alpha = nullptr;
  CProvider* m_beta = nullptr;
  CUpdateItem* m_setup = nullptr;
  CUpdateItem* m_driver = nullptr;
};

CProvider* FileManagerDlgTest::AddProvider(const std::string& name, const std::string& address) {
  m_app->m_providers.push_back(std::make_unique<CProvider>());
  CProvider* provider = m_app->m_providers.back().get();
  provider->m_strKeyName = name;
  provider->m_strAddress = address;
  return provider;
}

CUpdateItem* FileManagerDlgTest::AddFile(CProvider* provider, const std::string& name, int number,
                                         const std::string& content, bool just_downloaded) {
  CUpdateGroup* group =
      provider->GetGroupCount() > 0 ? provider->GetGroup(0) : provider->AddGroup();
  CUpdateItem* item = group->AddItem();
  item->m_strName = name;
  item->m_strLocation = name;
  item->m_nNumber = number;
  item->m_nLength = static_cast<std::int32_t>(content.size());
  item->m_nFileStamp = 3;
  item->m_bJustDownloaded = just_downloaded;
  std::ofstream(m_app->GetItemSavePath(*item), std::ios::binary) << content;
  return item;
}

void FileManagerDlgTest::init() {
  InitResources();
  UserPrompts::SetAutomaticAnswers(true);
  UserPrompts::Reset();
  m_registry = std::make_unique<TempRegistry>();
  m_os = std::make_unique<RegistryOsVersion>(*m_registry);
  m_app = std::make_unique<CClientApp>(*m_registry, *m_os);
  m_downloads = std::make_unique<TempDir>();
  m_app->SetUpBuiltInProviders();
  m_app->GetProvider(4)->m_strKeyName = "Gantrell";
  m_app->profile().WriteProfileString(kSettingsSection, "dlpath", m_downloads->path(), nullptr);
  m_alpha = AddProvider("Alpha Tools", "http://alpha.example/");
  m_beta = AddProvider("Beta Drivers", "http://beta.example/");
  m_setup = AddFile(m_alpha, "setup.exe", 1, std::string(512, 's'), true);
  m_setup->m_strDescription = "Installs the Alpha tools.";
  AddFile(m_alpha, "manual.pdf", 2, "m", false);
  m_driver = AddFile(m_beta, "driver.sys", 1, std::string(4000, 'd'), true);
  m_driver->m_strDescription = "A driver for other hardware.";
  m_driver->m_pCondition = std::make_unique<FailingCondition>();
  m_shell.opened.clear();
}

void FileManagerDlgTest::cleanup() {
  m_app.reset();
  m_os.reset();
  m_registry.reset();
  m_downloads.reset();
  UserPrompts::Reset();
}

void FileManagerDlgTest::opensOnThisSessionsFiles() {
  CFileManagerDlg dialog(*m_app, &m_shell);
  QCOMPARE(dialog.windowTitle(), QString("File Manager"));
  auto* combo = Find<QComboBox>(&dialog, "providerCombo");
  QStringList entries;
  for (int i = 0; i < combo->count(); ++i)
    entries.append(combo->itemText(i));
  QCOMPARE(entries, (QStringList{"Gantrell", "Alpha Tools", "Beta Drivers", "Just Downloaded"}));
  QCOMPARE(combo->currentIndex(), 3);
  auto* list = Find<QListWidget>(&dialog, "fileList");
  QCOMPARE(Rows(list), (QStringList{"setup.exe from Alpha Tools", "driver.sys from Beta Drivers"}));

  combo->setCurrentIndex(1);
  QCOMPARE(Rows(list), (QStringList{"setup.exe", "manual.pdf"}));
  combo->setCurrentIndex(0);
  QCOMPARE(list->count(), 0);
}

void FileManagerDlgTest::selectionShowsTheTexts() {
  CFileManagerDlg dialog(*m_app, &m_shell);
  auto* list = Find<QListWidget>(&dialog, "fileList");
  auto* description = Find<QPlainTextEdit>(&dialog, "descriptionEdit");
  auto* size = Find<QLineEdit>(&dialog, "sizeEdit");
  auto* suitability = Find<QLineEdit>(&dialog, "suitabilityEdit");

  list->setCurrentRow(1);
  QCOMPARE(description->toPlainText(), QString("A driver for other hardware."));
  QCOMPARE(size->text(), QString("Size: 3.0K"));
  QCOMPARE(suitability->text(), QString("This item is not intended for this machine"));
  list->setCurrentRow(0);
  QCOMPARE(description->toPlainText(), QString("Installs the Alpha tools."));
  QCOMPARE(suitability->text(), QString());
  list->clearSelection();
  QCOMPARE(description->toPlainText(), QString());
  QCOMPARE(size->text(), QString());

  list->setCurrentRow(1);
  Find<QComboBox>(&dialog, "providerCombo")->setCurrentIndex(2);
  QCOMPARE(suitability->text(), QString());
}

void FileManagerDlgTest::openFromButtonAndDoubleClick() {
  CFileManagerDlg dialog(*m_app, &m_shell);
  dialog.show();
  auto* list = Find<QListWidget>(&dialog, "fileList");
  QTest::mouseClick(Find<QPushButton>(&dialog, "openButton"), Qt::LeftButton);
  QVERIFY(m_shell.opened.isEmpty());  // nothing selected

  list->setCurrentRow(0);
  QTest::mouseClick(Find<QPushButton>(&dialog, "openButton"), Qt::LeftButton);
  const QString folder = QString::fromStdString(m_downloads->path());
  QCOMPARE(m_shell.opened,
           QStringList{folder + "/alpha_example_/1/setup.exe|" + folder + "/alpha_example_/1/| "});

  const QRect second = list->visualItemRect(list->item(1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  QCOMPARE(m_shell.opened.size(), 1);  // a single click only selects
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
  QCOMPARE(m_shell.opened.size(), 2);
  QCOMPARE(m_shell.opened[1],
           folder + "/beta_example_/1/driver.sys|" + folder + "/beta_example_/1/|");
}

void FileManagerDlgTest::copyOffersTheTypeAndCopies() {
  CFileManagerDlg dialog(*m_app, &m_shell);
  dialog.show();
  auto* copy = Find<QPushButton>(&dialog, "copyButton");
  QTest::mouseClick(copy, Qt::LeftButton);
  QVERIFY(UserPrompts::TakeSaveRequests().isEmpty());  // nothing selected

  Find<QListWidget>(&dialog, "fileList")->setCurrentRow(0);
  const std::string destination = m_downloads->File("copy of setup.exe");
  UserPrompts::SetNextSaveFile(QString::fromStdString(destination));
  QTest::mouseClick(copy, Qt::LeftButton);
  const QList<UserPrompts::SaveRequest> requests = UserPrompts::TakeSaveRequests();
  QCOMPARE(requests.size(), 1);
  QCOMPARE(requests[0].file_name, QString("setup.exe"));
  QCOMPARE(requests[0].default_extension, QString(".exe"));
  QCOMPARE(requests[0].filter, QString("Existing type (*.exe)|*.exe"));
  QCOMPARE(ReadWholeFile(destination), std::string(512, 's'));

  // Cancelling the save dialog copies nothing and shows nothing.
  QTest::mouseClick(copy, Qt::LeftButton);
  QCOMPARE(UserPrompts::TakeSaveRequests().size(), 1);
  QVERIFY(UserPrompts::TakeShown().isEmpty());
}

void FileManagerDlgTest::deleteDropsTheEntryWithoutAsking() {
  CFileManagerDlg dialog(*m_app, &m_shell);
  dialog.show();
  auto* list = Find<QListWidget>(&dialog, "fileList");
  const std::string path = m_app->GetItemSavePath(*m_setup);
  list->setCurrentRow(0);
  QTest::mouseClick(Find<QPushButton>(&dialog, "deleteButton"), Qt::LeftButton);
  QCOMPARE(Rows(list), QStringList{"driver.sys from Beta Drivers"});
  QVERIFY(list->selectedItems().isEmpty());
  QCOMPARE(Find<QPlainTextEdit>(&dialog, "descriptionEdit")->toPlainText(), QString());
  QVERIFY(!std::filesystem::exists(path));
  QCOMPARE(m_setup->m_nFileStamp, -1);
  QVERIFY(!m_setup->m_bJustDownloaded);
  QVERIFY(UserPrompts::TakeShown().isEmpty());
  QCOMPARE(UserPrompts::Unanswered(), 0);

  // With nothing selected, Delete does nothing.
  QTest::mouseClick(Find<QPushButton>(&dialog, "deleteButton"), Qt::LeftButton);
  QCOMPARE(list->count(), 1);
}

// Writes the dialog, as it opens, to $GANTRELL_SCREENSHOT_DIR.
void FileManagerDlgTest::screenshot() {
  const QByteArray folder = qgetenv("GANTRELL_SCREENSHOT_DIR");
  if (folder.isEmpty())
    QSKIP("GANTRELL_SCREENSHOT_DIR is not set");
  CFileManagerDlg dialog(*m_app, &m_shell);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  Find<QListWidget>(&dialog, "fileList")->setCurrentRow(1);
  QVERIFY(dialog.grab().save(QString::fromLocal8Bit(folder) + "/file_manager.png"));
}

}  // namespace gantrell::ui

QTEST_MAIN(gantrell::ui::FileManagerDlgTest)
#include "file_manager_dlg_test.moc"
