// The windowed client in German: the catalogue embedded in the program is
// found for the user's languages (and English wins where the user puts it
// first), every dialog shows its own texts translated, and each dialog's
// German texts keep a mnemonic each, none twice in one window.
#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>
#include <functional>
#include <map>
#include <set>

#include "accessibility_walk.h"
#include "app/about_text.h"
#include "app/wait_handshake.h"
#include "dialog_test_util.h"
#include "net/download_job.h"
#include "ui/about_dlg.h"
#include "ui/choose_filename_dlg.h"
#include "ui/command_help.h"
#include "ui/config_dlg.h"
#include "ui/download_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/folder_dlg.h"
#include "ui/main_dlg.h"
#include "ui/new_provider_dlg.h"
#include "ui/translations.h"
#include "ui/user_prompts.h"
#include "ui/wait_dlg.h"

namespace gantrell::ui_test {
namespace {

const char* const kDialogs[] = {"main window",     "About",        "Choose Filename",
                                "configuration",   "download",     "file manager",
                                "download folder", "New Provider", "Please Wait"};

// The texts the window itself puts on a dialog (not those the core hands
// over, which its own catalogue translates): the title, the buttons, the
// group boxes, the labels of fields, the accessible names, the place-holder
// texts and the list's column headers; each as "widget: text".
QStringList OwnTexts(QWidget& dialog) {
  QStringList texts{"title: " + dialog.windowTitle()};
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    const QString name = (widget->objectName().isEmpty() ? widget->metaObject()->className()
                                                         : widget->objectName()) +
                         QString(": ");
    if (!widget->accessibleName().isEmpty())
      texts << name + widget->accessibleName();
    if (const auto* button = qobject_cast<QAbstractButton*>(widget))
      texts << name + button->text();
    if (const auto* box = qobject_cast<QGroupBox*>(widget))
      texts << name + box->title();
    if (const auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->buddy())
      texts << name + label->text();
    if (const auto* edit = qobject_cast<QLineEdit*>(widget);
        edit != nullptr && !edit->placeholderText().isEmpty())
      texts << name + edit->placeholderText();
    if (const auto* view = qobject_cast<QTreeView*>(widget)) {
      for (int column = 0; column < view->header()->count(); ++column)
        texts << name + view->model()->headerData(column, Qt::Horizontal).toString();
    }
  }
  for (const QAction* action : dialog.actions())
    texts << "action: " + action->text();
  return texts;
}

// Texts that read the same in German.
const std::set<QString> kSameInGerman{
    "title: Gantrell",
    "okButton: &OK",
    "QPushButton: &OK",
    "pendingList: Name",
};

}  // namespace

class TranslationTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() {
    t = std::make_unique<TestApp>();
    m_pItem = nullptr;
    m_pJob = std::make_unique<CDownloadJob>(t->app.m_providers, DownloadEnvironment{});
  }
  void cleanup() {
    m_pJob.reset();
    t.reset();
    ui::InstallTranslations({});
  }

  // The user's languages, most preferred first, as the system gives them.
  void theFirstLanguageTheClientSpeaksIsInstalled_data() {
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("shown");
    const QString german = "Bitte warten";
    const QString english = "Please Wait";
    QTest::newRow("de") << QStringList{"de"} << "de" << german;
    QTest::newRow("de-DE, de") << QStringList{"de-DE", "de"} << "de" << german;
    QTest::newRow("de_AT") << QStringList{"de_AT"} << "de" << german;
    QTest::newRow("fr, then de") << QStringList{"fr-FR", "fr", "de"} << "de" << german;
    QTest::newRow("English before German") << QStringList{"en-GB", "de"} << "en" << english;
    QTest::newRow("en-US") << QStringList{"en-US"} << "en" << english;
    QTest::newRow("none known") << QStringList{"fr", "it-IT"} << "en" << english;
    QTest::newRow("C locale") << QStringList{"C"} << "en" << english;
    QTest::newRow("nothing") << QStringList{} << "en" << english;
  }

  void theFirstLanguageTheClientSpeaksIsInstalled() {
    QFETCH(QStringList, languages);
    QFETCH(QString, installed);
    QFETCH(QString, shown);
    // German first, so that a later choice of English must take it away.
    QCOMPARE(ui::InstallTranslations({"de"}), QString("de"));
    QCOMPARE(ui::InstallTranslations(languages), installed);
    CWaitHandshake handshake;
    ui::CWaitDlg wait(handshake);
    QCOMPARE(wait.windowTitle(), shown);
  }

  // Each dialog's own texts are German: none is left as it reads in
  // English unless it reads the same in German.
  void everyDialogShowsItsTextsInGerman_data() {
    QTest::addColumn<QString>("dialog");
    for (const char* name : kDialogs)
      QTest::newRow(name) << QString(name);
  }

  void everyDialogShowsItsTextsInGerman() {
    QFETCH(QString, dialog);
    const QStringList english = OwnTexts(*Make(dialog));
    QCOMPARE(ui::InstallTranslations({"de-DE", "de"}), QString("de"));
    const std::unique_ptr<QDialog> german = Make(dialog);
    const QStringList translated = OwnTexts(*german);
    QCOMPARE(translated.size(), english.size());
    QStringList untranslated;
    for (qsizetype i = 0; i < english.size(); ++i) {
      if (translated[i] == english[i] && !kSameInGerman.count(english[i]))
        untranslated << english[i];
    }
    QVERIFY2(untranslated.isEmpty(),
             qPrintable(dialog + " in English: " + untranslated.join(", ")));
    german->show();
    QApplication::processEvents();
    // A name for every field and a mnemonic for every button and label of
    // a field, none twice in the window: the German texts bring their own.
    const QStringList problems = Problems(dialog + " (German)", *german);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
  }

  // What a user reads first, spelled out.
  void theGermanTextsAreTheCatalogues() {
    QCOMPARE(ui::InstallTranslations({"de"}), QString("de"));
    const std::unique_ptr<QDialog> main = Make("main window");
    QCOMPARE(main->windowTitle(), QString("Gantrell"));  // the hand-off channel
    QCOMPARE(Child<QAbstractButton>(*main, "downloadButton")->text(),
             QString("Elemente herunter&laden"));
    QCOMPARE(Child<QAbstractButton>(*main, "closeButton")->text(), QString("&Schließen"));
    QTreeView* list = Child<QTreeView>(*main, "pendingList");
    QCOMPARE(list->model()->headerData(1, Qt::Horizontal).toString(), QString("Anbieter"));
    QCOMPARE(list->model()->headerData(2, Qt::Horizontal).toString(), QString("Größe"));
    QCOMPARE(main->actions().value(0)->text(), QString("Ü&ber gantrell..."));

    const std::unique_ptr<QDialog> about = Make("About");
    QCOMPARE(about->windowTitle(), QString("Über gantrell"));
    QCOMPARE(Child<QLabel>(*about, "versionLabel")->text(),
             QString("Gantrell Version " GANTRELL_VERSION));
    QCOMPARE(Child<QLabel>(*about, "signingLabel")->text(),
             QString("Digitale Signaturen auf Grundlage der Verschlüsselungsbibliothek OpenSSL"));

    const std::unique_ptr<QDialog> config = Make("configuration");
    auto* buttons = Child<QDialogButtonBox>(*config, "buttonBox");
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QString("&OK"));
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QString("&Abbrechen"));
    QCOMPARE(Make("download")->windowTitle(), QString("Wird heruntergeladen"));
  }

  // In English the window shows the core's texts as the core has them.
  void theEnglishTextsAreTheCores() {
    const std::unique_ptr<QDialog> about = Make("About");
    QCOMPARE(about->windowTitle(), QString(kAboutTitle));
    QCOMPARE(Child<QLabel>(*about, "versionLabel")->text(), QString(kAboutVersion));
    QCOMPARE(Child<QLabel>(*about, "makerLabel")->text(), QString(kAboutMaker));
    QCOMPARE(Child<QLabel>(*about, "creditLabel")->text(), QString(kAboutSigningCredit));
    QCOMPARE(Make("main window")->actions().value(0)->text(), QString(kAboutMenuText));
  }

  // "gantrell --help" in German: every option told, the descriptions in
  // one column after the longest option, no line wider than a terminal.
  void theCommandHelpIsTranslated() {
    const auto options = [](const QString& help, qsizetype* column) {
      static const QRegularExpression option("^  (\\S+) +(\\S.*)$");
      std::map<QString, QString> found;
      for (const QString& line : help.split('\n')) {
        const QRegularExpressionMatch match = option.match(line);
        if (!match.hasMatch())
          continue;
        found[match.captured(1)] = match.captured(2);
        // A description out of line is told as an option of its own.
        if (*column >= 0 && match.capturedStart(2) != *column)
          return std::map<QString, QString>{{"misaligned: " + line, ""}};
        *column = match.capturedStart(2);
      }
      return found;
    };
    const QString english_help = ui::CommandHelp();
    QVERIFY(english_help.startsWith("Usage: gantrell [-p] [-s] [-c] [-pr] [FILE]\n"));
    QCOMPARE(ui::InstallTranslations({"de"}), QString("de"));
    const QString german_help = ui::CommandHelp();
    QVERIFY(german_help.startsWith("Aufruf: gantrell [-p] [-s] [-c] [-pr] [DATEI]\n"));
    qsizetype english_column = -1;
    qsizetype german_column = -1;
    std::map<QString, QString> english = options(english_help, &english_column);
    std::map<QString, QString> german = options(german_help, &german_column);
    QStringList told;
    for (const auto& [option, what] : german) {
      told << option;
      QVERIFY2(what != english[option == "DATEI" ? "FILE" : option],
               qPrintable(option + " " + what));
    }
    QCOMPARE(told, QStringList({"--help", "--notify", "--version", "-c", "-p", "-pr", "-s", "DATEI"}));
    for (const QString& line : (english_help + german_help).split('\n'))
      QVERIFY2(line.size() <= 79, qPrintable("too wide: " + line));
  }

  // The message boxes' buttons, with their mnemonics, in both languages.
  void theBoxesButtonsAreTranslated_data() {
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("English") << QStringList{} << QStringList{"&Yes", "&No"};
    QTest::newRow("German") << QStringList{"de"} << QStringList{"&Ja", "&Nein"};
  }

  void theBoxesButtonsAreTranslated() {
    QFETCH(QStringList, languages);
    QFETCH(QStringList, buttons);
    ui::InstallTranslations(languages);
    ui::UserPrompts::SetAutomaticAnswers(false);
    QStringList shown;
    bool seen = false;
    WhenShown<QMessageBox>(
        [&](QMessageBox* box) {
          shown << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
          box->button(QMessageBox::No)->click();
        },
        &seen);
    const MessageAnswer answer = ui::UserPrompts::ShowMessage(
        nullptr, "Subscribe?", MessageIcon::kQuestion, MessageButtons::kYesNoDefaultNo);
    ui::UserPrompts::SetAutomaticAnswers(true);
    QVERIFY(seen);
    QCOMPARE(answer, MessageAnswer::kNo);
    QCOMPARE(shown, buttons);
  }

 private:
  template <typename Widget>
  static Widget* Child(QWidget& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(name);
    if (widget == nullptr)
      qFatal("no widget %s", name);
    return widget;
  }

  std::unique_ptr<QDialog> Make(const QString& dialog) {
    if (!m_pItem)
      m_pItem = t->AddProvider("beta", {1})->GetGroup(0)->GetItem(0);
    std::map<QString, std::function<std::unique_ptr<QDialog>()>> make{
        {"main window",
         [&] {
           auto main = std::make_unique<ui::CMainDlg>(t->app);
           main->OnInitDialog();
           return main;
         }},
        {"About", [] { return std::make_unique<ui::CAboutDlg>(); }},
        {"Choose Filename",
         [&] { return std::make_unique<ui::CChooseFilenameDlg>(t->app, *m_pItem); }},
        {"configuration", [&] { return std::make_unique<ui::CConfigDlg>(t->app); }},
        {"download", [&] { return std::make_unique<ui::CDownloadDlg>(*m_pJob); }},
        {"file manager", [&] { return std::make_unique<ui::CFileManagerDlg>(t->app); }},
        {"download folder", [] { return std::make_unique<ui::CFolderDlg>(); }},
        {"New Provider", [] { return std::make_unique<ui::CNewProviderDlg>(); }},
        {"Please Wait", [&] { return std::make_unique<ui::CWaitDlg>(m_handshake); }},
    };
    return make.at(dialog)();
  }

  std::unique_ptr<TestApp> t;
  CUpdateItem* m_pItem = nullptr;
  CWaitHandshake m_handshake;
  std::unique_ptr<CDownloadJob> m_pJob;
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::TranslationTest)
#include "translation_test.moc"
