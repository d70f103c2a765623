// The one place where the windowed client asks the user something outside
// its own dialogs: message boxes, the platform's folder chooser and its
// save-file dialog.
//
// Tests switch on automatic answers: nothing is shown, each box, chooser
// or save dialog takes the next answer queued for it (a notice with none
// queued is answered OK, a question No, a chooser or save dialog is
// cancelled, each counted as unanswered), and every box and save dialog is
// recorded with what it showed.
//
// Interface thread only.
#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "app/frontend.h"

class QWidget;

namespace gantrell::ui {

class UserPrompts {
 public:
  struct Shown {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
  };

  // A modal message box over `parent` (or over the active window when
  // null): the information, question (Yes/No), warning or error icon, and
  // the button pressed.
  static MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                                   MessageButtons buttons);
  // The platform's folder chooser, starting at `start`; the folder chosen,
  // or an empty text when the user cancelled.
  static QString ChooseFolder(QWidget* parent, const QString& title, const QString& start);

  // What a save-file dialog was asked to offer.
  struct SaveRequest {
    QString file_name;          // initial file name, or a full path
    QString default_extension;  // with its dot; empty for none
    QString filter;             // "Description|*pattern"
    QString title;              // empty: the platform's own
  };
  // The platform's save-file dialog: the initial file name, the default
  // extension (appended to a name typed without one) and one filter given
  // as "description|pattern". Choosing an existing file asks whether to
  // replace it. The path chosen, or an empty text when the user cancelled.
  static QString ChooseSaveFile(QWidget* parent, const SaveRequest& request);

  // --- Test seam ---
  static void SetAutomaticAnswers(bool automatic);
  static void SetNextAnswer(MessageAnswer answer);
  static void SetNextFolder(const QString& folder);
  // The next save-file dialog returns `path` (empty: cancelled).
  static void SetNextSaveFile(const QString& path);
  // The save-file dialogs asked for since the last call, oldest first.
  static QList<SaveRequest> TakeSaveRequests();
  // The boxes shown since the last call, oldest first.
  static QList<Shown> TakeShown();
  // Runs `hook` for every box as it is answered automatically (tests look
  // at the window behind it at that moment).
  static void SetShownHook(std::function<void(const Shown&)> hook);
  // Boxes and choosers that found no answer queued.
  static int Unanswered();
  // Forgets queued answers, recorded boxes and the unanswered count.
  static void Reset();
};

}  // namespace gantrell::ui
