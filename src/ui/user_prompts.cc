#include "ui/user_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace gantrell::ui {
namespace {

constexpr const char* kMessageTitle = "Gantrell";

struct Seam {
  bool automatic = false;
  QQueue<MessageAnswer> answers;
  QQueue<QString> folders;
  QList<UserPrompts::Shown> shown;
  std::function<void(const UserPrompts::Shown&)> hook;
  int unanswered = 0;
};

Seam& TheSeam() {
  static Seam seam;
  return seam;
}

// The save-file dialogs' answers and records, apart from the boxes'.
struct SaveSeam {
  QQueue<QString> paths;
  QList<UserPrompts::SaveRequest> requests;
};

SaveSeam& TheSaveSeam() {
  static SaveSeam seam;
  return seam;
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kError:
      return QMessageBox::Critical;
  }
  return QMessageBox::Information;
}

// The boxes' buttons carry the window's own texts, so that they read in
// the user's language (with a mnemonic of that language) whether or not
// Qt's own translations are installed.
void NameButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& text) {
  if (QAbstractButton* button = box.button(which))
    button->setText(text);
}

QWidget* ParentFor(QWidget* parent) {
  if (parent != nullptr)
    return parent;
  if (QWidget* modal = QApplication::activeModalWidget())
    return modal;
  return QApplication::activeWindow();
}

}  // namespace

MessageAnswer UserPrompts::ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                                       MessageButtons buttons) {
  Seam& seam = TheSeam();
  if (seam.automatic) {
    seam.shown.append({text, icon, buttons});
    if (seam.hook)
      seam.hook(seam.shown.back());
    if (!seam.answers.isEmpty())
      return seam.answers.dequeue();
    ++seam.unanswered;
    return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kNo;
  }

  // notr: the title is the program's name in every language.
  QMessageBox box(BoxIcon(icon), kMessageTitle, text, QMessageBox::NoButton, ParentFor(parent));
  if (buttons != MessageButtons::kOk) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(buttons == MessageButtons::kYesNoDefaultNo ||
                                 buttons == MessageButtons::kYesNoOrLater
                             ? QMessageBox::No
                             : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    NameButton(box, QMessageBox::Yes, QCoreApplication::translate("UserPrompts", "&Yes"));
    NameButton(box, QMessageBox::No, QCoreApplication::translate("UserPrompts", "&No"));
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    NameButton(box, QMessageBox::Ok, QCoreApplication::translate("UserPrompts", "&OK"));
  }
  const int pressed = box.exec();
  if (buttons == MessageButtons::kOk)
    return MessageAnswer::kOk;
  return pressed == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

QString UserPrompts::ChooseFolder(QWidget* parent, const QString& title, const QString& start) {
  Seam& seam = TheSeam();
  if (seam.automatic) {
    if (!seam.folders.isEmpty())
      return seam.folders.dequeue();
    ++seam.unanswered;
    return {};
  }
  return QFileDialog::getExistingDirectory(ParentFor(parent), title, start,
                                           QFileDialog::ShowDirsOnly);
}

void UserPrompts::SetAutomaticAnswers(bool automatic) {
  TheSeam().automatic = automatic;
}

void UserPrompts::SetNextAnswer(MessageAnswer answer) {
  TheSeam().answers.enqueue(answer);
}

void UserPrompts::SetNextFolder(const QString& folder) {
  TheSeam().folders.enqueue(folder);
}

QList<UserPrompts::Shown> UserPrompts::TakeShown() {
  return std::exchange(TheSeam().shown, {});
}

void UserPrompts::SetShownHook(std::function<void(const Shown&)> hook) {
  TheSeam().hook = std::move(hook);
}

int UserPrompts::Unanswered() {
  return TheSeam().unanswered;
}

void UserPrompts::Reset() {
  const bool automatic = TheSeam().automatic;
  TheSeam() = Seam{};
  TheSeam().automatic = automatic;
  TheSaveSeam() = SaveSeam{};
}

QString UserPrompts::ChooseSaveFile(QWidget* parent, const SaveRequest& request) {
  SaveSeam& seam = TheSaveSeam();
  if (TheSeam().automatic) {
    seam.requests.append(request);
    if (!seam.paths.isEmpty())
      return seam.paths.dequeue();
    ++TheSeam().unanswered;
    return {};
  }
  // The filter arrives as "description|pattern"; Qt wants
  // "description (pattern)", and the description already names the
  // pattern.
  const qsizetype bar = request.filter.indexOf('|');
  const QString description = bar < 0 ? request.filter : request.filter.left(bar);
  const QString pattern = bar < 0 ? QStringLiteral("*") : request.filter.mid(bar + 1);
  QFileDialog dialog(ParentFor(parent), request.title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(description + " (" + pattern + ")");
  if (request.default_extension.size() > 1)
    dialog.setDefaultSuffix(request.default_extension.mid(1));
  if (!request.file_name.isEmpty())
    dialog.selectFile(request.file_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().constFirst();
}

void UserPrompts::SetNextSaveFile(const QString& path) {
  TheSaveSeam().paths.enqueue(path);
}

QList<UserPrompts::SaveRequest> UserPrompts::TakeSaveRequests() {
  return std::exchange(TheSaveSeam().requests, {});
}

}  // namespace gantrell::ui
