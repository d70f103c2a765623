#include "ui/qt_trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace gantrell::ui {

bool QtTrash::MoveToTrash(const std::string& path, std::string* where, std::string* error) {
  QString in_trash;
  if (!QFile::moveToTrash(QString::fromStdString(path), &in_trash)) {
    if (error != nullptr)
      *error = "the desktop has no trash for " + path;
    return false;
  }
  // The file is at TRASH/files/NAME.
  if (where != nullptr) {
    QDir folder = QFileInfo(in_trash).dir();
    folder.cdUp();
    *where = in_trash.isEmpty() ? std::string() : folder.absolutePath().toStdString();
  }
  return true;
}

}  // namespace gantrell::ui
