#include "cli/terminal.h"

#include "platform/console.h"

namespace gantrell::cli {

PromptResult AskOnTerminal(const std::string& prompt, std::string* line) {
  switch (AskOnConsole(prompt, line)) {
    case ConsoleAnswer::kLine:
      return PromptResult::kOk;
    case ConsoleAnswer::kEnded:
      return PromptResult::kCancel;
    case ConsoleAnswer::kNoConsole:
      break;
  }
  return PromptResult::kUnavailable;
}

int TerminalWidth() {
  return ConsoleWidth();
}

bool StderrIsTerminal() {
  return StderrIsConsole();
}

}  // namespace gantrell::cli
