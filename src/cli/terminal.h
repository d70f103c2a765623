// The terminal the console client talks to, if there is one: standard
// input when it is a terminal, else the process's controlling terminal
// (/dev/tty), so that a question can still be answered while standard
// input is a pipe.
#pragma once

#include <string>

#include "app/frontend.h"

namespace gantrell::cli {

// Shows `prompt` on the terminal and reads one line (without its line
// break). kOk with *line; kCancel when the input ends; kUnavailable when
// there is no terminal to ask on.
PromptResult AskOnTerminal(const std::string& prompt, std::string* line);

// The width of the terminal on standard error, read anew at each call so
// that a resize is followed; 80 when it cannot be told.
int TerminalWidth();

// Whether standard error is a terminal (progress is then drawn in place).
bool StderrIsTerminal();

}  // namespace gantrell::cli
