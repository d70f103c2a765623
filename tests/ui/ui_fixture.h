// What the dialog suites share: a real CClientApp on a temporary registry,
// data folder and download folder, with the Qt frontend answering its
// boxes automatically, provider sites on a local server, and helpers that
// act on a modal dialog once it is up.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_http_server.h"
#include "support/test_site.h"
#include "ui/qt_frontend.h"
#include "ui/user_prompts.h"

namespace gantrell::ui::testing {

using gantrell::testing::ScopedEnv;
using gantrell::testing::TempDir;
using gantrell::testing::TempRegistry;
using gantrell::testing::TestSite;

class UiFixture {
 public:
  UiFixture();
  ~UiFixture();

  CClientApp& app() { return m_app; }
  QtFrontend& frontend() { return m_frontend; }
  TestHttpServer& server() { return m_server; }
  const std::string& download_folder() const { return m_downloads.path(); }

  // Registers the site's address as the user would (wait dialog, success
  // box answered); false when it was not set up.
  bool Register(TestSite& site);

  // The texts of the boxes shown since the last call.
  QStringList TakeTexts();

 private:
  // The authority entries point at the local server too: nothing leaves
  // the machine.
  TestHttpServer m_server;
  std::string m_keyServerUrl{m_server.Url("")};
  ScopedEnv m_keyServer{"GANTRELL_KEY_SERVER", m_keyServerUrl.c_str()};
  TempDir m_runtime;
  ScopedEnv m_runtimeEnv;
  TempRegistry m_registry;
  TempDir m_downloads;
  RegistryOsVersion m_os{m_registry};
  CClientApp m_app{m_registry, m_os};
  QtFrontend m_frontend;
};

// Runs `act` on the first visible modal dialog (or popup menu) of type
// Dialog, as soon as it is up (checked on a short timer, never by
// sleeping).
template <typename Dialog>
void WhenShown(std::function<void(Dialog*)> act) {
  auto* timer = new QTimer(QApplication::instance());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* top = QApplication::activePopupWidget();
    if (top == nullptr)
      top = QApplication::activeModalWidget();
    auto* dialog = qobject_cast<Dialog*>(top);
    if (dialog == nullptr || !dialog->isVisible())
      return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
  });
  timer->start();
}

// Answers successive modal dialogs of type Dialog, one step each, in
// order, as each comes up.
template <typename Dialog>
void AnswerEach(QList<std::function<void(Dialog*)>> steps) {
  auto* timer = new QTimer(QApplication::instance());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, steps]() mutable {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible() || dialog->property("answered").toBool())
      return;
    dialog->setProperty("answered", true);
    const std::function<void(Dialog*)> step = steps.takeFirst();
    if (steps.isEmpty()) {
      timer->stop();
      timer->deleteLater();
    }
    step(dialog);
  });
  timer->start();
}

// Records the class of every dialog shown while it lives.
class DialogLog : public QObject {
 public:
  DialogLog();
  ~DialogLog() override;
  QStringList shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace gantrell::ui::testing
