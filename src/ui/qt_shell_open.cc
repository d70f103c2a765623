#include "ui/qt_shell_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace gantrell::ui {

bool QtShellOpen::Open(const std::string& path, const std::string& /*working_folder*/,
                       const std::string& /*parameters*/) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace gantrell::ui
