// Every dialog, walked widget by widget as a keyboard and screen-reader
// user meets it: an interactive widget with no name a screen reader can
// read out (its own accessible name, a label naming it, or its text), a
// button or a label of a field without a mnemonic, or two mnemonics alike
// in one window each fail, with the dialog and widget named.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QtTest>
#include <functional>
#include <map>

#include "accessibility_walk.h"
#include "app/wait_handshake.h"
#include "dialog_test_util.h"
#include "net/download_job.h"
#include "ui/about_dlg.h"
#include "ui/choose_filename_dlg.h"
#include "ui/config_dlg.h"
#include "ui/download_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/folder_dlg.h"
#include "ui/main_dlg.h"
#include "ui/new_provider_dlg.h"
#include "ui/wait_dlg.h"

namespace gantrell::ui_test {

class AccessibilityTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() { t = std::make_unique<TestApp>(); }
  void cleanup() { t.reset(); }

  void everyDialogIsNamedAndReachable_data() {
    QTest::addColumn<QString>("dialog");
    for (const char* name : {"main window", "About", "Choose Filename",
                             "configuration", "download", "file manager", "download folder",
                             "New Provider", "Please Wait"})
      QTest::newRow(name) << QString(name);
  }

  void everyDialogIsNamedAndReachable() {
    QFETCH(QString, dialog);
    CUpdateItem* item = t->AddProvider("beta", {1})->GetGroup(0)->GetItem(0);
    CWaitHandshake handshake;
    CDownloadJob job(t->app.m_providers, DownloadEnvironment{});
    std::map<QString, std::function<std::unique_ptr<QDialog>()>> make{
        {"main window", [&] { return std::make_unique<ui::CMainDlg>(t->app); }},
        {"About", [] { return std::make_unique<ui::CAboutDlg>(); }},
        {"Choose Filename", [&] { return std::make_unique<ui::CChooseFilenameDlg>(t->app, *item); }},
        {"configuration", [&] { return std::make_unique<ui::CConfigDlg>(t->app); }},
        {"download", [&] { return std::make_unique<ui::CDownloadDlg>(job); }},
        {"file manager", [&] { return std::make_unique<ui::CFileManagerDlg>(t->app); }},
        {"download folder", [] { return std::make_unique<ui::CFolderDlg>(); }},
        {"New Provider", [] { return std::make_unique<ui::CNewProviderDlg>(); }},
        {"Please Wait", [&] { return std::make_unique<ui::CWaitDlg>(handshake); }},
    };
    const std::unique_ptr<QDialog> shown = make.at(dialog)();
    shown->show();
    QApplication::processEvents();
    const QStringList problems = Problems(dialog, *shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
  }

 private:
  std::unique_ptr<TestApp> t;
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::AccessibilityTest)
#include "accessibility_test.moc"
