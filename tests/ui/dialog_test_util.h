// Shared pieces of the dialogs' QtTest suites: an application on a
// temporary registry and download folder, providers made to measure, and a
// way to act on a modal dialog once it shows.
#pragma once

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "ui/qt_frontend.h"
#include "ui/user_prompts.h"

// The dialogs' icon lives in the resources of the static ui library,
// which a program must pull in by name (outside any namespace).
inline void InitDialogResources() {
  Q_INIT_RESOURCE(gantrell);
}

namespace gantrell::ui_test {

// A condition that never holds.
class NeverHolds : public CCondition {
 public:
  bool Evaluate(const ConditionEnv&) const override { return false; }
  bool Parse(CTokenReader&) override { return true; }
  void Write(std::ostream&) const override {}
  std::unique_ptr<CCondition> Clone() const override { return std::make_unique<NeverHolds>(); }
};

struct TestApp {
  TestApp() : key_server("GANTRELL_KEY_SERVER", nullptr), os(reg), app(reg, os) {
    app.SetFrontend(&frontend);
    app.SetUpBuiltInProviders();
    for (int p = 0; p < app.GetProviderCount(); ++p)
      app.GetProvider(p)->m_bVerified = true;
    app.GetProvider(4)->m_strKeyName = "Gantrell";
    app.profile().WriteProfileString("mainpath", "dlpath", downloads.path(), nullptr);
    ui::UserPrompts::SetAutomaticAnswers(true);
    ui::UserPrompts::Reset();
  }

  // A verified provider with a group per entry of `scans`, each with two
  // new items "<name>-g<group>-<n>.exe".
  CProvider* AddProvider(const std::string& name, const std::vector<int>& scans) {
    auto provider = std::make_unique<CProvider>();
    provider->m_strAddress = "http://" + name + ".example/";
    provider->m_strKeyName = name;
    provider->m_bVerified = true;
    provider->m_bTransferFlag = true;
    provider->m_nScanMode = 1;
    for (std::size_t g = 0; g < scans.size(); ++g) {
      CUpdateGroup* group = provider->AddGroup();
      group->m_strName = "Group " + std::to_string(g);
      group->m_bScan = scans[g];
      for (int i = 0; i < 2; ++i) {
        CUpdateItem* item = group->AddItem();
        item->m_strName = name + "-g" + std::to_string(g) + "-" + std::to_string(i) + ".exe";
        item->m_strLocation = item->m_strName;
        item->m_strDescription = "Description of " + item->m_strName;
        item->m_strDate = "1 6 2020";
        item->m_nStamp = 7;
        item->m_nLength = 3000000;
        item->m_nNumber = static_cast<int>(g * 10) + i;
      }
    }
    app.m_providers.push_back(std::move(provider));
    return app.m_providers.back().get();
  }

  testing::ScopedEnv key_server;
  testing::TempRegistry reg;
  RegistryOsVersion os;
  CClientApp app;
  ui::QtFrontend frontend;
  testing::TempDir downloads;
};

// With GANTRELL_SCREENSHOT_DIR set, saves a picture of `dialog` there as
// NAME.png (scripts/screenshots).
inline void SaveScreenshot(QWidget& dialog, const QString& name) {
  const QString folder = qEnvironmentVariable("GANTRELL_SCREENSHOT_DIR");
  if (folder.isEmpty())
    return;
  QDir().mkpath(folder);
  dialog.adjustSize();
  QApplication::processEvents();
  dialog.grab().save(folder + "/" + name + ".png");
}

// Runs `act` on the first visible top-level dialog of type T not answered
// yet as soon as one shows (polling the event loop), so that a test can
// answer a modal dialog that a click opens. *seen tells whether it did.
template <typename T>
void WhenShown(std::function<void(T*)> act, bool* seen) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act, seen] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<T*>(widget);
      if (dialog != nullptr && dialog->isVisible() && !dialog->property("answered").toBool()) {
        timer->stop();
        timer->deleteLater();
        *seen = true;
        dialog->setProperty("answered", true);
        act(dialog);
        return;
      }
    }
  });
  timer->start();
}

}  // namespace gantrell::ui_test
