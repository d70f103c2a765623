#include "ui/file_prompts.h"

#include <QFileDialog>
#include <QQueue>

namespace gantrell::ui {
namespace {

struct Seam {
  bool automatic = false;
  QQueue<QString> names;
  QList<FilePrompts::SaveRequest> requests;
  int unanswered = 0;
};

Seam& TheSeam() {
  static Seam seam;
  return seam;
}

}  // namespace

QString FilePrompts::SaveFileName(QWidget* parent, const SaveRequest& request) {
  Seam& seam = TheSeam();
  if (seam.automatic) {
    seam.requests.append(request);
    if (!seam.names.isEmpty())
      return seam.names.dequeue();
    ++seam.unanswered;
    return {};
  }
  QFileDialog dialog(parent, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The save-location dialog asks about an existing file itself when it
  // moves the download there.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilter(request.filter);
  if (!request.default_suffix.isEmpty())
    dialog.setDefaultSuffix(request.default_suffix);
  if (!request.proposed.isEmpty())
    dialog.selectFile(request.proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().first();
}

void FilePrompts::SetAutomaticAnswers(bool automatic) {
  TheSeam().automatic = automatic;
}

void FilePrompts::SetNextFileName(const QString& path) {
  TheSeam().names.enqueue(path);
}

QList<FilePrompts::SaveRequest> FilePrompts::TakeRequests() {
  return std::exchange(TheSeam().requests, {});
}

int FilePrompts::Unanswered() {
  return TheSeam().unanswered;
}

void FilePrompts::Reset() {
  const bool automatic = TheSeam().automatic;
  TheSeam() = Seam{};
  TheSeam().automatic = automatic;
}

}  // namespace gantrell::ui
