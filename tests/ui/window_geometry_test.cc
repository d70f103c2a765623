// Windows that remember: a window closed at a size and place opens there
// the next time (through the registry store, as in a new run), each window
// under its own entry, and a stored value that is not a geometry leaves
// the window as it would be.
#include <QtTest>

#include "dialog_test_util.h"
#include "platform/profile.h"
#include "ui/config_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/main_dlg.h"
#include "ui/window_geometry.h"

namespace gantrell::ui_test {

class WindowGeometryTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { InitDialogResources(); }
  void init() { t = std::make_unique<TestApp>(); }
  void cleanup() { t.reset(); }

  void aClosedWindowOpensWhereItWas_data() {
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << "CMainDlg";
    QTest::newRow("configuration") << "CConfigDlg";
    QTest::newRow("file manager") << "CFileManagerDlg";
  }

  void aClosedWindowOpensWhereItWas() {
    QFETCH(QString, window);
    // The test screen is 800x600 and the configuration dialog is nearly as
    // wide: each window moves and grows by a little from where it opened.
    QRect placed;
    {
      const std::unique_ptr<QDialog> first = Make(window);
      first->show();
      QApplication::processEvents();
      placed = QRect(QPoint(30, 50), first->size() + QSize(0, 24));
      first->setGeometry(placed);
      QApplication::processEvents();
      first->reject();
    }
    const std::string stored =
        t->app.profile().GetProfileString(ui::kWindowSection, window.toStdString(), "");
    QVERIFY2(!stored.empty(), qPrintable(window));

    // A new run reads the settings afresh.
    Profile again(t->reg, kProgramName);
    QCOMPARE(again.GetProfileString(ui::kWindowSection, window.toStdString(), ""), stored);
    const std::unique_ptr<QDialog> second = Make(window);
    second->show();
    QApplication::processEvents();
    QCOMPARE(second->size(), placed.size());
    // The offscreen platform reports a frame of its own; the place may
    // move by its width.
    QVERIFY2((second->pos() - placed.topLeft()).manhattanLength() <= 4,
             qPrintable(QString("%1,%2").arg(second->x()).arg(second->y())));

    // The others keep their own entries.
    for (const char* other : {"CMainDlg", "CConfigDlg", "CFileManagerDlg"}) {
      if (window != other)
        QCOMPARE(t->app.profile().GetProfileString(ui::kWindowSection, other, ""), std::string());
    }
  }

  void aStoredValueThatIsNoGeometryIsIgnored() {
    const QSize natural = [this] {
      ui::CMainDlg window(t->app);
      window.show();
      QApplication::processEvents();
      return window.size();
    }();
    for (const char* junk : {"not base64 at all!", "AAAA", "////"}) {
      QVERIFY(t->app.profile().WriteProfileString(ui::kWindowSection, "CMainDlg", junk, nullptr));
      ui::CMainDlg window(t->app);
      window.show();
      QApplication::processEvents();
      QVERIFY2(window.size() == natural, junk);
    }
  }

 private:
  std::unique_ptr<QDialog> Make(const QString& window) {
    if (window == "CMainDlg")
      return std::make_unique<ui::CMainDlg>(t->app);
    if (window == "CConfigDlg")
      return std::make_unique<ui::CConfigDlg>(t->app);
    return std::make_unique<ui::CFileManagerDlg>(t->app);
  }

  std::unique_ptr<TestApp> t;
};

}  // namespace gantrell::ui_test

QTEST_MAIN(gantrell::ui_test::WindowGeometryTest)
#include "window_geometry_test.moc"
