#include "ui/qt_trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace gantrell::ui {
namespace {

std::string NoTrashText(const QString& file) {
  return QCoreApplication::translate("QtTrash", "the desktop has no trash for %1")
      .arg(file)
      .toStdString();
}

}  // namespace

bool QtTrash::MoveToTrash(const std::string& path, std::string* where, std::string* error) {
  // Qt files into the working folder when the home trash's parent folder
  // is missing; with that folder made the trash goes where it belongs.
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  const QString file = QString::fromStdString(path);
  QString in_trash;
  if (!QFile::moveToTrash(file, &in_trash)) {
    if (error != nullptr)
      *error = NoTrashText(file);
    return false;
  }
  if (QFileInfo(in_trash).isRelative()) {
    // No trash after all: the file goes back, and the record Qt left.
    QFile::rename(in_trash, file);
    QFile::remove(QFileInfo(in_trash).dir().path() + "/../info/" + QFileInfo(in_trash).fileName() +
                  ".trashinfo");
    if (error != nullptr)
      *error = NoTrashText(file);
    return false;
  }
  // The file is at TRASH/files/NAME.
  if (where != nullptr) {
    QDir folder = QFileInfo(in_trash).dir();
    folder.cdUp();
    *where = folder.absolutePath().toStdString();
  }
  return true;
}

}  // namespace gantrell::ui
