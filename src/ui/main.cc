// gantrell: the windowed client. Runs the start-up sequence with the Qt
// frontend; the program ends when start-up returns, after the main window
// (if any) has closed. Its command line is the client's: "-p", "-s", "-c",
// "-pr" and a file of provider addresses, and its own "--notify".
#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "gantrell_version.h"
#include "platform/catalogue.h"
#include "platform/end_request_watch.h"
#include "platform/system_registry.h"
#include "ui/app_icon.h"
#include "ui/command_help.h"
#include "ui/first_paint_probe.h"
#include "ui/qt_frontend.h"
#include "ui/translations.h"

int main(int argc, char** argv) {
  // The engine's messages in the user's language (the window's own texts
  // are Qt's translations).
  gantrell::InstallUserCatalogue("gantrell");
  // Answered before Qt starts, so that it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("gantrell %s\n", gantrell::kVersion);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
    return gantrell::ui::PrintCommandHelp(argc, argv);
  QApplication application(argc, argv);
  application.setWindowIcon(gantrell::ui::AppIcon());
  // The user's languages, most preferred first (on Linux from LANGUAGE,
  // else the locale); English when none has a catalogue.
  gantrell::ui::InstallTranslations(QLocale::system().uiLanguages());
  gantrell::ui::InstallFirstPaintProbeIfAsked();
  // Qt has taken its own options (-platform, ...); the rest is the
  // client's.
  const QStringList qt_arguments = QApplication::arguments();
  // "--notify" is the windowed client's own: with "-s", something pending
  // is told by a desktop notification rather than the window.
  bool notify = false;
  std::vector<std::string> arguments;
  for (qsizetype i = 1; i < qt_arguments.size(); ++i) {
    if (qt_arguments[i] == QLatin1String("--notify"))
      notify = true;
    else
      arguments.push_back(qt_arguments[i].toStdString());
  }
  // The per-user settings key is named after the executable's base name.
  const std::string program_name =
      QFileInfo(qt_arguments.value(0)).completeBaseName().toStdString();

  const std::unique_ptr<gantrell::Registry> system_registry = gantrell::MakeSystemRegistry();
  gantrell::Registry& registry = *system_registry;
  const std::unique_ptr<gantrell::OsVersion> os_version = gantrell::MakeSystemOsVersion(registry);
  gantrell::CClientApp app(registry, *os_version,
                           program_name.empty() ? gantrell::kProgramName : program_name);
  gantrell::ui::QtFrontend frontend;
  frontend.SetNotifyWhenPending(notify);
  app.SetFrontend(&frontend);
  // A logout (SIGTERM) or a lost terminal (SIGHUP) ends the run as Cancel
  // would, and the store is written before the program ends.
  const std::unique_ptr<gantrell::EndRequestWatch> end_watch =
      gantrell::EndRequestWatch::Start([&app] { app.RequestEnd(); }, nullptr);
  const gantrell::StartupResult result = app.InitInstance(arguments);
  return result == gantrell::StartupResult::kFailed ? 1 : 0;
}
