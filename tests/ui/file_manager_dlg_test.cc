// The "File Manager" dialog's wiring: the provider choice, the list, the
// texts, and the three buttons, with a recording shell and the save dialog
// answered through the prompts seam.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QApplication>
#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "platform/shell_open.h"
#include "platform/trash.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"
#include "ui/file_manager_dlg.h"
#include "ui/qt_frontend.h"
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

// Takes files into a folder of its own, or (not available) none.
class FolderTrash : public Trash {
 public:
  bool MoveToTrash(const std::string& path, std::string* where, std::string* error) override {
    if (!available) {
      *error = "none";
      return false;
    }
    std::filesystem::rename(path, folder.File("taken"));
    *where = folder.path();
    return true;
  }
  bool available = true;
  TempDir folder;
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
  void deleteDropsTheEntryWithoutAsking_data() { ButtonOrKey(); }
  void deleteDropsTheEntryWithoutAsking();
  void withoutATrashDeleteAsksFirst_data() { ButtonOrKey(); }
  void withoutATrashDeleteAsksFirst();
  void failedCopyAndOpenAreShown();
  void theSaveDialogAsksBeforeReplacing();
  void aQuestionThatLosesAFileDefaultsToNo();
  void screenshot();

 private:
  // The delete tests run twice: with the "Delete" button and with the
  // Delete key in the list, which goes the same way.
  static void ButtonOrKey() {
    QTest::addColumn<bool>("key");
    QTest::newRow("Delete button") << false;
    QTest::newRow("Delete key") << true;
  }
  void PressDelete(QWidget* dialog) {
    QFETCH(bool, key);
    if (key)
      QTest::keyClick(Find<QListWidget>(dialog, "fileList"), Qt::Key_Delete);
    else
      QTest::mouseClick(Find<QPushButton>(dialog, "deleteButton"), Qt::LeftButton);
  }
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
  std::unique_ptr<FolderTrash> m_trash;
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
  m_trash = std::make_unique<FolderTrash>();
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
  CFileManagerDlg dialog(*m_app, &m_shell, nullptr, m_trash.get());
  dialog.show();
  auto* list = Find<QListWidget>(&dialog, "fileList");
  const std::string path = m_app->GetItemSavePath(*m_setup);
  list->setCurrentRow(0);
  PressDelete(&dialog);
  QCOMPARE(Rows(list), QStringList{"driver.sys from Beta Drivers"});
  QVERIFY(list->selectedItems().isEmpty());
  QCOMPARE(Find<QPlainTextEdit>(&dialog, "descriptionEdit")->toPlainText(), QString());
  QVERIFY(!std::filesystem::exists(path));
  QCOMPARE(m_setup->m_nFileStamp, -1);
  QVERIFY(!m_setup->m_bJustDownloaded);
  QVERIFY(UserPrompts::TakeShown().isEmpty());
  QCOMPARE(UserPrompts::Unanswered(), 0);

  // The file went to the trash, from where it can be brought back.
  QCOMPARE(ReadWholeFile(m_trash->folder.File("taken")), std::string(512, 's'));

  // With nothing selected, Delete does nothing.
  PressDelete(&dialog);
  QCOMPARE(list->count(), 1);
}

// With no trash to take it, Delete asks, No by default; No keeps the file
// and its entry.
void FileManagerDlgTest::withoutATrashDeleteAsksFirst() {
  m_trash->available = false;
  QtFrontend frontend;
  m_app->SetFrontend(&frontend);
  CFileManagerDlg dialog(*m_app, &m_shell, nullptr, m_trash.get());
  dialog.show();
  auto* list = Find<QListWidget>(&dialog, "fileList");
  const std::string path = m_app->GetItemSavePath(*m_setup);
  list->setCurrentRow(0);
  PressDelete(&dialog);
  QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
  QCOMPARE(shown.size(), 1);
  QCOMPARE(shown[0].text, QString::fromStdString("There is no trash to move " + path +
                                                 " to. Delete it for good?"));
  QVERIFY(shown[0].buttons == MessageButtons::kYesNoDefaultNo);
  QCOMPARE(list->count(), 2);
  QVERIFY(std::filesystem::exists(path));
  QCOMPARE(m_setup->m_nFileStamp, 3);

  UserPrompts::SetNextAnswer(MessageAnswer::kYes);
  PressDelete(&dialog);
  QCOMPARE(list->count(), 1);
  QVERIFY(!std::filesystem::exists(path));
  m_app->SetFrontend(nullptr);
}

// A copy that fails and a file the desktop cannot open are reported as
// the console reports them.
void FileManagerDlgTest::failedCopyAndOpenAreShown() {
  CFileManagerDlg dialog(*m_app, &m_shell, nullptr, m_trash.get());
  dialog.show();
  Find<QListWidget>(&dialog, "fileList")->setCurrentRow(0);
  const std::string nowhere = m_downloads->File("no/such/folder/copy.exe");
  UserPrompts::SetNextSaveFile(QString::fromStdString(nowhere));
  QTest::mouseClick(Find<QPushButton>(&dialog, "copyButton"), Qt::LeftButton);
  QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
  QCOMPARE(shown.size(), 1);
  QCOMPARE(shown[0].text,
           QString::fromStdString("Cannot copy 'setup.exe from Alpha Tools': Cannot write " +
                                  nowhere + ": No such file or directory"));
  QVERIFY(shown[0].icon == MessageIcon::kError);

  const std::string path = m_app->GetItemSavePath(*m_setup);
  std::filesystem::remove(path);
  QTest::mouseClick(Find<QPushButton>(&dialog, "openButton"), Qt::LeftButton);
  shown = UserPrompts::TakeShown();
  QCOMPARE(shown.size(), 1);
  QCOMPARE(shown[0].text, QString::fromStdString(
                              "Cannot open 'setup.exe from Alpha Tools': the file is missing: " +
                              path));
  QVERIFY(m_shell.opened.isEmpty());
}

// A real message box: Enter alone must not delete or replace a file.
void FileManagerDlgTest::aQuestionThatLosesAFileDefaultsToNo() {
  UserPrompts::SetAutomaticAnswers(false);
  for (const MessageButtons buttons : {MessageButtons::kYesNoDefaultNo, MessageButtons::kYesNo}) {
    QString default_text;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box != nullptr && box->defaultButton() != nullptr) {
        default_text = box->standardButton(box->defaultButton()) == QMessageBox::No ? "No" : "Yes";
        QTest::keyClick(box, Qt::Key_Return);
      }
    });
    const MessageAnswer answer =
        UserPrompts::ShowMessage(nullptr, "Delete it?", MessageIcon::kQuestion, buttons);
    const bool no = buttons == MessageButtons::kYesNoDefaultNo;
    QCOMPARE(default_text, QString(no ? "No" : "Yes"));
    QVERIFY(answer == (no ? MessageAnswer::kNo : MessageAnswer::kYes));
  }
  UserPrompts::SetAutomaticAnswers(true);
}

// The platform's save dialog itself (not the seam): choosing a file that
// exists must bring its question before anything is replaced.
void FileManagerDlgTest::theSaveDialogAsksBeforeReplacing() {
  UserPrompts::SetAutomaticAnswers(false);
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog != nullptr) {
      checked = !dialog->testOption(QFileDialog::DontConfirmOverwrite) &&
                dialog->acceptMode() == QFileDialog::AcceptSave;
      dialog->reject();
    }
  });
  UserPrompts::SaveRequest request;
  request.file_name = QString::fromStdString(m_downloads->File("x.exe"));
  request.filter = "Existing type (*.exe)|*.exe";
  const QString chosen = UserPrompts::ChooseSaveFile(nullptr, request);
  UserPrompts::SetAutomaticAnswers(true);
  QVERIFY(chosen.isEmpty());
  QVERIFY(checked);
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
