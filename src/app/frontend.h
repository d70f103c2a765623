// How the core talks to the user. The windowed client, the console client
// and the tests each implement this; the core never shows anything itself.
// Every call comes from the thread that runs the user interface unless a
// method says otherwise.
#pragma once

#include <string>

namespace gantrell {

enum class MessageIcon { kInformation, kQuestion, kWarning, kError };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

enum class PromptResult {
  kOk,
  kCancel,
  // No one can answer (no terminal, a script without an answer): the caller
  // must give up instead of asking again.
  kUnavailable,
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  // A modal message box with a fixed text. Returns the button pressed; a
  // notice (kOk) returns kOk.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                    MessageButtons buttons) = 0;

  // The "Choose download folder" prompt: "Choose a default download folder"
  // and a text field. On kOk, *folder holds the text entered.
  virtual PromptResult AskFolder(std::string* folder) = 0;
};

}  // namespace gantrell
