// The main window against a real application object and provider sites on
// 127.0.0.1: the list and its texts, "Skip once", "Remove", "-c", the About
// box, hand-offs from another instance and "Download Items".
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <filesystem>

#include "app/save_paths.h"
#include "model/size_text.h"
#include "platform/single_instance.h"
#include "ui/about_dlg.h"
#include "ui/choose_filename_dlg.h"
#include "ui/config_dlg.h"
#include "ui/download_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/folder_dlg.h"
#include "ui/main_dlg.h"
#include "ui_fixture.h"

namespace gantrell::ui::testing {
namespace {

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files.push_back(std::filesystem::relative(entry.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The file manager opens modally after a download run that ended; these
// tests close it as a user would.
QString Asked(const std::string& address) {
  return QString::fromStdString("Subscribe to updates from " + address + "?");
}

void CloseFileManagerWhenShown(bool* shown = nullptr) {
  WhenShown<CFileManagerDlg>([shown](CFileManagerDlg* manager) {
    if (shown != nullptr)
      *shown = true;
    manager->reject();
  });
}

// For tests where a dialog must not come up: rejects each one of type
// Dialog that does while `owner` lives, and counts it, so that the test
// fails instead of waiting in the dialog (a one-shot WhenShown would
// outlive the test and take the next test's dialog).
template <typename Dialog>
void RejectEach(QObject* owner, int* count) {
  auto* timer = new QTimer(owner);
  QObject::connect(timer, &QTimer::timeout, [count] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible() || dialog->property("rejected").toBool())
      return;
    dialog->setProperty("rejected", true);
    ++*count;
    dialog->reject();
  });
  timer->start(5);
}

}  // namespace

class MainDlgTest : public QObject {
  Q_OBJECT

 private:
  // A registered site with `count` items ("item1.bin" ...), and the main
  // window initialised on it.
  void OpenWithItems(int count) {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    for (int i = 1; i <= count; ++i) {
      m_site->AddItem("item" + std::to_string(i) + ".bin", i, std::string(100 * i, 'x'),
                      "Item number " + std::to_string(i));
    }
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    Open();
  }

  void Open() {
    m_window = std::make_unique<CMainDlg>(m_fixture->app());
    m_window->OnInitDialog();
    m_window->show();
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    return m_window->findChild<Widget*>(name);
  }
  QTreeView* List() { return Find<QTreeView>("pendingList"); }
  int Rows() { return List()->model()->rowCount(); }
  // The entry as a screen reader reads it: "NAME from PROVIDER".
  QString RowText(int row) {
    return List()->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
  }
  QString Cell(int row, int column) {
    return List()->model()->index(row, column).data().toString();
  }
  // Selects exactly these rows.
  void Select(std::initializer_list<int> rows) {
    QItemSelectionModel* selection = List()->selectionModel();
    selection->clearSelection();
    for (const int row : rows) {
      selection->select(List()->model()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  QString Count() { return Find<QLineEdit>("countText")->text(); }
  QString Size() { return Find<QLineEdit>("sizeText")->text(); }
  QString Description() { return Find<QPlainTextEdit>("descriptionText")->toPlainText(); }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  CUpdateItem* Item(int index) {
    return m_fixture->app().GetProvider(5)->GetGroup(0)->GetItem(index);
  }

  std::unique_ptr<UiFixture> m_fixture;
  std::unique_ptr<TestSite> m_site;
  std::unique_ptr<CMainDlg> m_window;

 private Q_SLOTS:
  void init() { m_fixture = std::make_unique<UiFixture>(); }
  void cleanup() {
    QCOMPARE(UserPrompts::Unanswered(), 0);
    m_window.reset();
    m_site.reset();
    m_fixture.reset();
  }

  void countText_data() {
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << "No new items to download.";
    QTest::newRow("one") << 1 << "1 new item to download.";
    QTest::newRow("twelve") << 12 << "12 new items to download";
  }
  void countText() {
    QFETCH(int, items);
    QFETCH(QString, text);
    OpenWithItems(items);
    QCOMPARE(Rows(), items);
    QCOMPARE(Count(), text);
    if (items > 0)
      QCOMPARE(RowText(0), QString("item1.bin from Example Tools"));
  }

  // Each entry shows its name, provider, size and date in columns; the
  // first is current and selected when the window opens, with its
  // description shown.
  void columnsAndTheFirstEntryAtOpening() {
    OpenWithItems(2);
    const QAbstractItemModel* model = List()->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
      headers << model->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Name", "Provider", "Size", "Date"}));
    QCOMPARE(Cell(1, 0), QString("item2.bin"));
    QCOMPARE(Cell(1, 1), QString("Example Tools"));
    QCOMPARE(Cell(1, 2), QString("200 B"));
    QVERIFY2(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(Cell(1, 3)).hasMatch(),
             qPrintable(Cell(1, 3)));
    QCOMPARE(List()->currentIndex().row(), 0);
    QCOMPARE(List()->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(List()->selectionModel()->selectedRows().value(0).row(), 0);
    QCOMPARE(Description(), QString("Item number 1"));
    QCOMPARE(Size(), QString::fromStdString(FormatSizeText(100)));
  }

  // "Skip once", "Remove" and "Customise save location" need a selection;
  // the rest do not.
  void buttonsThatActOnTheSelectionNeedOne() {
    OpenWithItems(2);
    const QStringList needing{"skipButton", "removeButton", "saveLocationButton"};
    const auto enabled = [this] {
      QStringList names;
      for (const char* name : {"skipButton", "removeButton", "configureButton",
                               "saveLocationButton", "viewDownloadsButton", "aboutButton",
                               "downloadButton", "closeButton"}) {
        if (Find<QPushButton>(name)->isEnabled())
          names << name;
      }
      return names;
    };
    const QStringList all = enabled();
    QCOMPARE(all.size(), 8);
    List()->clearSelection();
    QStringList without = all;
    for (const QString& name : needing)
      without.removeAll(name);
    QCOMPARE(enabled(), without);
    Select({1});
    QCOMPARE(enabled(), all);
    Click("skipButton");
    QCOMPARE(Rows(), 1);
    QCOMPARE(enabled(), without);

    // An empty list has nothing to select.
    m_window.reset();
    m_site.reset();
    m_fixture = std::make_unique<UiFixture>();
    OpenWithItems(0);
    QCOMPARE(enabled(), without);
  }

  void selectionShowsDescriptionOfOneAndSizeOfAll() {
    OpenWithItems(3);
    QCOMPARE(List()->selectionMode(), QAbstractItemView::ExtendedSelection);
    Select({1});
    QCOMPARE(Description(), QString("Item number 2"));
    QCOMPARE(Size(), QString::fromStdString(FormatSizeText(200)));
    Select({1, 2});
    QCOMPARE(Description(), QString());
    QCOMPARE(Size(), QString::fromStdString(FormatSizeText(500)));
    List()->clearSelection();
    QCOMPARE(Size(), QString());
  }

  void skipOnceKeepsTheStamps() {
    OpenWithItems(2);
    List()->selectAll();
    Click("skipButton");
    QCOMPARE(Rows(), 0);
    QCOMPARE(Count(), QString("No new items to download."));
    QCOMPARE(Description(), QString());
    QCOMPARE(Size(), QString());
    for (int i = 0; i < 2; ++i) {
      QVERIFY(!Item(i)->m_bSelected);
      QVERIFY(Item(i)->m_nTakenStamp != Item(i)->m_nStamp);
    }
    // Listed again the next time the pending list is built.
    m_window.reset();
    Open();
    QCOMPARE(Rows(), 2);
  }

  void removeTakesTheStamps() {
    OpenWithItems(2);
    List()->selectAll();
    Click("removeButton");
    QCOMPARE(Rows(), 0);
    QCOMPARE(Count(), QString("No new items to download."));
    for (int i = 0; i < 2; ++i) {
      QVERIFY(!Item(i)->m_bSelected);
      QCOMPARE(Item(i)->m_nTakenStamp, Item(i)->m_nStamp);
    }
    m_window.reset();
    Open();
    QCOMPARE(Rows(), 0);
  }

  // Delete in the list removes what is selected, as "Remove" does, and
  // only where "Remove" is offered.
  void deleteKeyRemovesTheSelection() {
    OpenWithItems(3);
    Select({1});
    QTest::keyClick(List(), Qt::Key_Delete);
    QCOMPARE(Rows(), 2);
    QCOMPARE(RowText(1), QString("item3.bin from Example Tools"));
    QCOMPARE(Item(1)->m_nTakenStamp, Item(1)->m_nStamp);
    QVERIFY(Item(0)->m_nTakenStamp != Item(0)->m_nStamp);
    QCOMPARE(Count(), QString("2 new items to download"));

    m_window.reset();
    m_fixture->app().m_bAllowConfigure = false;
    Open();
    List()->selectAll();
    QTest::keyClick(List(), Qt::Key_Delete);
    QCOMPARE(Rows(), 2);
    QVERIFY(Item(0)->m_nTakenStamp != Item(0)->m_nStamp);
  }

  // Tab walks the window as it is laid out: the list, the buttons beside
  // it from the top, the description, the count and size, then the row of
  // buttons at the bottom from the left.
  void tabOrderFollowsTheLayout() {
    OpenWithItems(1);
    List()->selectAll();
    const QStringList expected{"pendingList",     "skipButton",          "removeButton",
                               "configureButton", "saveLocationButton",  "viewDownloadsButton",
                               "descriptionText", "countText",           "sizeText",
                               "aboutButton",     "downloadButton",      "closeButton"};
    QStringList order;
    QWidget* widget = List();
    do {
      if (widget->isVisibleTo(m_window.get()) && (widget->focusPolicy() & Qt::TabFocus) &&
          widget->isEnabled())
        order << widget->objectName();
      widget = widget->nextInFocusChain();
    } while (widget != List() && order.size() <= expected.size());
    QCOMPARE(order, expected);
  }

  // The About button, by a click and by its mnemonic; a label's mnemonic
  // takes the focus to its field.
  void aboutButtonAndMnemonics() {
    OpenWithItems(1);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QStringList titles;
    const auto answer = [&](CAboutDlg* about) {
      titles << about->windowTitle();
      QTest::keyClick(about, Qt::Key_Return);
    };
    WhenShown<CAboutDlg>(answer);
    Click("aboutButton");
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    WhenShown<CAboutDlg>(answer);
    // A mnemonic clicks its button after a short animation.
    QTest::keyClick(m_window.get(), Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(titles, QStringList({"About gantrell", "About gantrell"}));
    QCOMPARE(Find<QPushButton>("aboutButton")->text().remove('&'), QString("About"));

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_E, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), Find<QWidget>("descriptionText"));
    // Alt+S is "Skip once".
    QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(Rows(), 0);
  }

  void noConfigureHidesRemoveAndConfigure() {
    m_fixture->app().m_bAllowConfigure = false;
    OpenWithItems(1);
    QVERIFY(!Find<QPushButton>("removeButton")->isVisible());
    QVERIFY(!Find<QPushButton>("configureButton")->isVisible());
    for (const char* name : {"skipButton", "downloadButton", "closeButton", "saveLocationButton",
                             "viewDownloadsButton", "aboutButton"}) {
      QVERIFY2(Find<QPushButton>(name)->isVisible(), name);
    }
    List()->selectAll();
    Click("skipButton");
    QCOMPARE(Rows(), 0);
  }

  void buttonsAndKeys() {
    OpenWithItems(1);
    QVERIFY(Find<QPushButton>("downloadButton")->isDefault());
    QCOMPARE(m_window->windowTitle(), QString("Gantrell"));
    QVERIFY(!m_window->windowIcon().isNull());
    // Escape closes the window.
    QTest::keyClick(List(), Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());
  }

  void aboutBoxOnF1AndInTheContextMenu() {
    OpenWithItems(0);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QStringList texts;
    WhenShown<CAboutDlg>([&](CAboutDlg* about) {
      texts << about->windowTitle();
      for (const char* name : {"versionLabel", "makerLabel", "signingLabel", "creditLabel"})
        texts << about->findChild<QLabel*>(name)->text();
      QVERIFY(!about->windowIcon().isNull());
      QTest::keyClick(about, Qt::Key_Return);
    });
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    QCOMPARE(texts.value(0), QString("About gantrell"));
    QCOMPARE(texts.value(1), QString("Gantrell Version 1.11"));
    QCOMPARE(texts.value(3), QString("Digital signing based on OpenSSL encryption library"));

    const QList<QAction*> actions = m_window->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions[0]->text(), QString("&About gantrell..."));
    bool shown = false;
    WhenShown<QMenu>([&](QMenu* menu) {
      QCOMPARE(menu->actions().value(0), actions[0]);
      shown = true;
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            m_window->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(m_window.get(), &event);
    QVERIFY(shown);
  }

  // A logout's SIGTERM while a dialog of the window is up: the dialog
  // closes as with Escape, then the main window, and the frontend's run of
  // the window returns so that start-up can write the store.
  void endRequestClosesTheOpenDialogAndTheWindow() {
    OpenWithItems(1);
    m_window.reset();  // the frontend runs its own, modally
    DialogLog dialogs;
    bool about_shown = false;
    WhenShown<CAboutDlg>([&](CAboutDlg*) {
      about_shown = true;
      m_fixture->app().RequestEnd();
    });
    // The About button, not F1: a shortcut needs the window to be active,
    // which it may not be yet when it is first shown.
    WhenShown<CMainDlg>([](CMainDlg* window) {
      QTest::mouseClick(window->findChild<QPushButton*>("aboutButton"), Qt::LeftButton);
    });
    // Should the sweep not work, the test ends rather than hangs.
    bool timed_out = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      timed_out = true;
      while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->done(0);
        QCoreApplication::processEvents();
      }
    });
    guard.start(10000);
    m_fixture->frontend().RunMainWindow(m_fixture->app());
    QVERIFY(!timed_out);
    QVERIFY(about_shown);
    QCOMPARE(dialogs.shown, (QStringList{"gantrell::ui::CMainDlg", "gantrell::ui::CAboutDlg"}));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  // SIGTERM while a download runs: the item filed before it stays taken,
  // the one being read is not, and neither the file manager nor anything
  // else opens before the window closes.
  void endRequestInADownloadKeepsWhatWasFiledAndClosesTheWindow() {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    m_site->AddItem("first.bin", 1, "first bytes", "First");
    m_site->AddItem("second.bin", 2, std::string(5000, 's'), "Second");
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    m_fixture->server().ServeStall("/p/2.dat", 5000);
    DialogLog dialogs;
    WhenShown<CMainDlg>([](CMainDlg* window) {
      QTest::mouseClick(window->findChild<QPushButton*>("downloadButton"), Qt::LeftButton);
    });
    WhenShown<CDownloadDlg>([&](CDownloadDlg* dialog) {
      auto* poll = new QTimer(dialog);
      QObject::connect(poll, &QTimer::timeout, [&, poll] {
        if (m_fixture->server().RequestCount("/p/2.dat") == 0)
          return;
        poll->stop();
        m_fixture->app().RequestEnd();
      });
      poll->start(5);
    });
    bool timed_out = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      timed_out = true;
      while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->done(0);
        QCoreApplication::processEvents();
      }
    });
    guard.start(10000);
    m_fixture->frontend().RunMainWindow(m_fixture->app());
    QVERIFY(!timed_out);
    QCOMPARE(dialogs.shown, (QStringList{"gantrell::ui::CMainDlg", "gantrell::ui::CDownloadDlg"}));
    QVERIFY(m_fixture->TakeTexts().isEmpty());
    QCOMPARE(Item(0)->m_nTakenStamp, Item(0)->m_nStamp);
    QVERIFY(Item(1)->m_nTakenStamp != Item(1)->m_nStamp);
    const std::string folder = ProviderFolderName(m_site->address());
    // The second item's part file may be kept for the next download.
    std::vector<std::string> files = FilesBelow(m_fixture->download_folder());
    std::erase_if(files, [](const std::string& name) {
      return name.find("/2/") != std::string::npos && name.find(".partial-2-") != std::string::npos;
    });
    QCOMPARE(files, std::vector<std::string>{folder + "/1/first.bin"});
  }

  // Another instance writes two addresses to "newprov" and sends its
  // notice: both are registered in order, the list rebuilt after each.
  void handOffOfTwoAddresses() {
    OpenWithItems(0);
    TestSite first(m_fixture->server(), "/first/", "First Tools");
    first.AddItem("a.bin", 1, "aaa");
    first.Publish();
    TestSite second(m_fixture->server(), "/second/", "Second Tools");
    second.AddItem("b.bin", 2, "bb");
    second.AddItem("c.bin", 3, "cc");
    second.Publish();

    QList<int> listed_at_message;
    UserPrompts::SetShownHook(
        [&](const UserPrompts::Shown&) { listed_at_message << Rows(); });
    for (int i = 0; i < 2; ++i) {
      UserPrompts::SetNextAnswer(MessageAnswer::kYes);
      UserPrompts::SetNextAnswer(MessageAnswer::kOk);
    }
    QVERIFY(m_fixture->app().profile().WriteProfileString(
        kSettingsSection, "newprov", first.address() + " * " + second.address(), nullptr));
    QVERIFY(NotifyHandOff("Gantrell"));

    QTRY_COMPARE(Rows(), 3);
    QCOMPARE(m_fixture->TakeTexts(),
             (QStringList{Asked(first.address()), "New Provider successfully set up: First Tools",
                          Asked(second.address()),
                          "New Provider successfully set up: Second Tools"}));
    // The first provider's item was listed before the second registration
    // ended.
    QCOMPARE(listed_at_message, (QList<int>{0, 0, 1, 1}));
    QCOMPARE(m_fixture->app().GetProvider(6)->m_strAddress, first.address());
    QCOMPARE(m_fixture->app().GetProvider(7)->m_strAddress, second.address());
    QCOMPARE(Count(), QString("3 new items to download"));
  }

  void handOffWithoutAStoredValueChangesNothing() {
    OpenWithItems(1);
    DialogLog dialogs;
    QVERIFY(NotifyHandOff("Gantrell"));
    // Notices are handled in order: once a later hand-off with a value has
    // been registered, the first one is known to have done nothing.
    TestSite later(m_fixture->server(), "/later/", "Later Tools");
    later.Publish();
    QVERIFY(m_fixture->app().profile().WriteProfileString(kSettingsSection, "newprov",
                                                          later.address(), nullptr));
    UserPrompts::SetNextAnswer(MessageAnswer::kYes);
    UserPrompts::SetNextAnswer(MessageAnswer::kOk);
    QVERIFY(NotifyHandOff("Gantrell"));
    QTRY_COMPARE(m_fixture->app().GetProviderCount(), 7);
    QCOMPARE(dialogs.shown, QStringList{"gantrell::ui::CWaitDlg"});
    QCOMPARE(m_fixture->TakeTexts(),
             (QStringList{Asked(later.address()), "New Provider successfully set up: Later Tools"}));
    QCOMPARE(Rows(), 1);
  }

  // A hand-off while another dialog of the window runs (here the file
  // manager; a download or a fetch would have a worker walking the
  // provider list) waits until that dialog has closed.
  void handOffWhileADialogRunsWaitsForItsEnd() {
    OpenWithItems(1);
    TestSite later(m_fixture->server(), "/later/", "Later Tools");
    later.AddItem("l.bin", 1, "ll");
    later.Publish();
    bool waited = false;
    WhenShown<CFileManagerDlg>([&](CFileManagerDlg* manager) {
      QVERIFY(m_fixture->app().profile().WriteProfileString(kSettingsSection, "newprov",
                                                            later.address(), nullptr));
      QVERIFY(NotifyHandOff("Gantrell"));
      QTRY_VERIFY(m_window->session().hand_off_waiting());
      QCOMPARE(m_fixture->app().GetProviderCount(), 6);
      waited = true;
      manager->reject();
    });
    UserPrompts::SetNextAnswer(MessageAnswer::kYes);
    UserPrompts::SetNextAnswer(MessageAnswer::kOk);
    Click("viewDownloadsButton");
    QVERIFY(waited);
    QCOMPARE(m_fixture->app().GetProviderCount(), 7);
    QCOMPARE(m_fixture->TakeTexts(),
             (QStringList{Asked(later.address()), "New Provider successfully set up: Later Tools"}));
    QCOMPARE(Rows(), 2);
  }

  // A downloaded subscription file handed over by a second instance: the
  // address is asked about (No the default, so the automatic answer), and
  // declined it is neither fetched nor left in "newprov". The box itself
  // has No as its default button.
  void aHandedOverAddressIsAskedAboutAndNoIsTheDefault() {
    OpenWithItems(0);
    TestSite offered(m_fixture->server(), "/offered/", "Security Updates");
    offered.AddItem("s.bin", 1, "ss");
    offered.Publish();
    QVERIFY(m_fixture->app().profile().WriteProfileString(kSettingsSection, "newprov",
                                                          offered.address(), nullptr));
    QVERIFY(NotifyHandOff("Gantrell"));
    QTRY_COMPARE(UserPrompts::Unanswered(), 1);
    const QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, Asked(offered.address()));
    QVERIFY(shown[0].icon == MessageIcon::kQuestion);
    QVERIFY(shown[0].buttons == MessageButtons::kYesNoOrLater);
    QTRY_COMPARE(m_fixture->app().profile().GetProfileString(kSettingsSection, "newprov", "?"),
                 std::string());
    QCOMPARE(m_fixture->app().GetProviderCount(), 6);
    QCOMPARE(m_fixture->server().RequestCount("/offered/control.txt"), 0);
    QCOMPARE(Rows(), 0);
    UserPrompts::Reset();

    UserPrompts::SetAutomaticAnswers(false);
    bool seen = false;
    bool no_is_default = false;
    WhenShown<QMessageBox>([&](QMessageBox* box) {
      seen = true;
      no_is_default = box->defaultButton() == box->button(QMessageBox::No);
      QTest::keyClick(box, Qt::Key_Return);
    });
    const MessageAnswer answer = UserPrompts::ShowMessage(
        nullptr, Asked(offered.address()), MessageIcon::kQuestion, MessageButtons::kYesNoOrLater);
    UserPrompts::SetAutomaticAnswers(true);
    QVERIFY(seen);
    QVERIFY(no_is_default);
    QVERIFY(answer == MessageAnswer::kNo);
  }

  void viewDownloadedItemsOpensTheFileManager() {
    OpenWithItems(1);
    bool managerShown = false;
    CloseFileManagerWhenShown(&managerShown);
    Click("viewDownloadsButton");
    QVERIFY(managerShown);
    QCOMPARE(Rows(), 1);
  }

  void configureRebuildsTheListFromTheSelection() {
    OpenWithItems(3);
    bool shown = false;
    WhenShown<CConfigDlg>([&](CConfigDlg* config) {
      shown = true;
      // Taken off the selection while the dialog is open, as its "Delete"
      // does.
      Item(1)->m_bSelected = false;
      config->accept();
    });
    Click("configureButton");
    QVERIFY(shown);
    QCOMPARE(Rows(), 2);
    QCOMPARE(RowText(1), QString("item3.bin from Example Tools"));
    QCOMPARE(Count(), QString("2 new items to download"));
  }

  void saveLocationRunsForEachSelectedEntryInListOrder() {
    OpenWithItems(3);
    Select({2, 0});
    QStringList captions;
    std::function<void(CChooseFilenameDlg*)> close = [&](CChooseFilenameDlg* choose) {
      captions << choose->findChild<QLabel*>("captionText")->text();
      choose->reject();
      if (captions.size() == 1)
        WhenShown<CChooseFilenameDlg>(close);
    };
    WhenShown<CChooseFilenameDlg>(close);
    Click("saveLocationButton");
    QCOMPARE(captions.size(), 2);
    QVERIFY2(captions[0].contains("item1.bin"), qPrintable(captions[0]));
    QVERIFY2(captions[1].contains("item3.bin"), qPrintable(captions[1]));
    QCOMPARE(Rows(), 3);
  }

  void downloadWithAnEmptyListOpensNothing() {
    OpenWithItems(2);
    List()->selectAll();
    Click("skipButton");
    DialogLog dialogs;
    int managers = 0;
    RejectEach<CFileManagerDlg>(m_window.get(), &managers);
    Click("downloadButton");
    QCoreApplication::processEvents();
    // Nothing to download: neither the download dialog nor the file manager.
    QCOMPARE(dialogs.shown, QStringList{});
    QCOMPARE(managers, 0);
    QVERIFY(m_fixture->TakeTexts().isEmpty());
    QCOMPARE(m_fixture->server().RequestCount("/p/1.dat"), 0);
    QCOMPARE(Rows(), 0);
    QVERIFY(FilesBelow(m_fixture->download_folder()).empty());
  }

  // Without a download folder the prompt comes first; its Cancel ends the
  // run: nothing is downloaded, no file manager, the items stay listed.
  void cancelledFolderPromptEndsTheRunWithNothingDownloaded() {
    OpenWithItems(2);
    m_fixture->app().profile().DeleteProfileEntry(kSettingsSection, "dlpath", nullptr);
    DialogLog dialogs;
    // Each prompt is cancelled; a third one (a prompt that cannot be
    // dismissed) is given a folder, so that the run would go on.
    int prompts = 0;
    auto* answer = new QTimer(m_window.get());
    QObject::connect(answer, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<CFolderDlg*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible() || dialog->property("answered").toBool())
        return;
      dialog->setProperty("answered", true);
      if (++prompts < 3) {
        dialog->reject();
        return;
      }
      dialog->findChild<QLineEdit*>("folderEdit")
          ->setText(QString::fromStdString(m_fixture->download_folder()));
      dialog->accept();
    });
    answer->start(5);
    int managers = 0;
    RejectEach<CFileManagerDlg>(m_window.get(), &managers);
    Click("downloadButton");
    answer->stop();
    QCOMPARE(prompts, 1);
    QCOMPARE(dialogs.shown, QStringList{"gantrell::ui::CFolderDlg"});
    QCOMPARE(managers, 0);
    QVERIFY(m_fixture->TakeTexts().isEmpty());
    QCOMPARE(m_fixture->server().RequestCount("/p/1.dat"), 0);
    QCOMPARE(Rows(), 2);
    QVERIFY(FilesBelow(m_fixture->download_folder()).empty());
  }

  void corruptItemIsReportedAndStaysListed() {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    m_site->AddItem("good.bin", 1, "good bytes", "Good");
    m_site->AddItem("bad.bin", 2, "bad bytes", "Bad");
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    m_site->Corrupt(2);
    Open();
    QCOMPARE(Rows(), 2);

    UserPrompts::SetNextAnswer(MessageAnswer::kOk);
    bool managerShown = false;
    CloseFileManagerWhenShown(&managerShown);
    Click("downloadButton");
    QVERIFY(managerShown);
    const QList<UserPrompts::Shown> shown = UserPrompts::TakeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("Download corrupt. Deleting file."));
    QCOMPARE(shown[0].icon, MessageIcon::kError);
    QCOMPARE(UserPrompts::Unanswered(), 0);
    QCOMPARE(Rows(), 1);
    QCOMPARE(RowText(0), QString("bad.bin from Example Tools"));
    QCOMPARE(Count(), QString("1 new item to download."));
    const std::string folder = ProviderFolderName(m_site->address());
    QCOMPARE(FilesBelow(m_fixture->download_folder()),
             std::vector<std::string>{folder + "/1/good.bin"});
  }

  void cancelDuringABodyReadLeavesNoFileAndNoReport() {
    m_site = std::make_unique<TestSite>(m_fixture->server(), "/p/", "Example Tools");
    m_site->AddItem("big.bin", 1, std::string(5000, 'b'), "Big");
    m_site->Publish();
    QVERIFY(m_fixture->Register(*m_site));
    m_fixture->server().ServeStall("/p/1.dat", 5000);
    Open();

    bool cancelled = false;
    WhenShown<CDownloadDlg>([&](CDownloadDlg* dialog) {
      // Cancel once the body request is being read.
      auto* poll = new QTimer(dialog);
      QObject::connect(poll, &QTimer::timeout, [&, dialog, poll] {
        if (m_fixture->server().RequestCount("/p/1.dat") == 0)
          return;
        poll->stop();
        cancelled = true;
        QTest::mouseClick(dialog->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
      });
      poll->start(5);
    });
    // A cancelled run still ends the dialog with 1, so the file manager
    // follows it as after any run.
    bool managerShown = false;
    CloseFileManagerWhenShown(&managerShown);
    Click("downloadButton");
    QVERIFY(cancelled);
    QVERIFY(managerShown);
    QVERIFY(m_fixture->TakeTexts().isEmpty());
    // Only the kept part file (with its .info) is left for the next run.
    for (const std::string& name : FilesBelow(m_fixture->download_folder()))
      QVERIFY2(name.find("/1/big.bin.partial-1-") != std::string::npos, name.c_str());
    QCOMPARE(Rows(), 1);
  }
};

}  // namespace gantrell::ui::testing

QTEST_MAIN(gantrell::ui::testing::MainDlgTest)
#include "main_dlg_test.moc"
