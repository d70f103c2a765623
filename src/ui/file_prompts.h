// The one place where the windowed client opens the platform's file
// dialogs, so that tests can answer them.
//
// Tests switch on automatic answers: no dialog is shown, each call takes
// the next file name queued (none queued: the dialog counts as cancelled
// and unanswered), and every call is recorded with what it offered.
//
// Interface thread only.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace gantrell::ui {

class FilePrompts {
 public:
  // What a save dialog was opened with.
  struct SaveRequest {
    QString title;
    QString proposed;        // the file name or full path offered
    QString filter;          // one filter, "Label (*pattern)"
    QString default_suffix;  // added when the user types none, without "."
  };

  // The platform's save dialog: no confirmation of an existing file (the
  // caller asks), the chosen full path, or an empty text on Cancel.
  static QString SaveFileName(QWidget* parent, const SaveRequest& request);

  // --- Test seam ---
  static void SetAutomaticAnswers(bool automatic);
  static void SetNextFileName(const QString& path);
  static QList<SaveRequest> TakeRequests();
  static int Unanswered();
  static void Reset();
};

}  // namespace gantrell::ui
