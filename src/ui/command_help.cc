#include "ui/command_help.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "ui/translations.h"

namespace gantrell::ui {
namespace {

// A terminal's width, less one column.
constexpr qsizetype kWidth = 79;

// `text` broken at spaces into lines of at most kWidth columns (a longer
// word stands alone), the first after `first`, the others after `indent`
// spaces.
QStringList Wrapped(const QString& first, const QString& text, qsizetype indent) {
  QStringList lines;
  QString line = first;
  bool empty = true;
  for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
    if (!empty && line.size() + 1 + word.size() > kWidth) {
      lines << line;
      line = QString(indent, ' ');
      empty = true;
    }
    line += (empty ? QString() : QStringLiteral(" ")) + word;
    empty = false;
  }
  return lines << line;
}

}  // namespace

QString CommandHelp() {
  // Each option with what it does; the descriptions line up after the
  // longest option, whatever their language.
  const std::vector<std::pair<QString, QString>> options{
      {QCoreApplication::translate("CommandHelp", "FILE"),
       QCoreApplication::translate(
           "CommandHelp", "a file of provider addresses, separated by \" * \", to subscribe to")},
      {QStringLiteral("-s"),
       QCoreApplication::translate(
           "CommandHelp", "check silently: the window opens only when something new is waiting")},
      {QStringLiteral("--notify"),
       QCoreApplication::translate(
           "CommandHelp", "with -s: tell what is waiting by a desktop notification")},
      {QStringLiteral("-c"),
       QCoreApplication::translate("CommandHelp",
                                   "hide \"Remove\" and \"Configure\" in the main window")},
      {QStringLiteral("-pr"),
       QCoreApplication::translate(
           "CommandHelp", "hide \"Add Provider\" and \"Delete Provider\" in the configuration")},
      {QStringLiteral("-p"),
       QCoreApplication::translate("CommandHelp", "wait 10 seconds before reading FILE")},
      {QStringLiteral("--version"),
       QCoreApplication::translate("CommandHelp", "print the version and end")},
      {QStringLiteral("--help"),
       QCoreApplication::translate("CommandHelp", "print this help and end")},
  };
  qsizetype width = 0;
  for (const auto& [option, what] : options)
    width = std::max(width, option.size());
  QStringList lines{
      QCoreApplication::translate("CommandHelp", "Usage: %1 [-p] [-s] [-c] [-pr] [%2]")
          .arg(QStringLiteral("gantrell"), options.front().first)};
  lines << Wrapped(
      QString(),
      QCoreApplication::translate("CommandHelp",
                                  "Checks the update providers you subscribe to and "
                                  "lists the items that are new and suit this machine."),
      0);
  lines << QString();
  const qsizetype column = 2 + width + 2;
  for (const auto& [option, what] : options)
    lines << Wrapped(QStringLiteral("  ") + option.leftJustified(width + 2), what, column);
  return lines.join('\n') + '\n';
}

int PrintCommandHelp(int argc, char** argv) {
  const QCoreApplication application(argc, argv);
  InstallTranslations(QLocale::system().uiLanguages());
  std::fputs(CommandHelp().toLocal8Bit().constData(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace gantrell::ui
