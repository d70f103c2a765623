// The console the program talks to, if there is one: standard input when
// it is a terminal, else the process's controlling terminal, so that a
// question can still be answered while standard input is a pipe.
#pragma once

#include <string>

namespace gantrell {

enum class ConsoleAnswer {
  kLine,       // *line holds what was typed
  kEnded,      // the input ended before a line break
  kNoConsole,  // there is no console to ask on
};

// Shows `prompt` on the console and reads one line (without its line
// break).
ConsoleAnswer AskOnConsole(const std::string& prompt, std::string* line);

// The width of the console on standard error, read anew at each call so
// that a resize is followed; 80 when it cannot be told.
int ConsoleWidth();

// Whether standard error is a console (progress is then drawn in place).
bool StderrIsConsole();

// Lets a console show the UTF-8 text the program writes to standard output
// and standard error: on Windows the console's output code page is set to
// UTF-8 for the life of the process and put back when it ends. Elsewhere
// the terminal takes the program's bytes as they are.
void UseUtf8Console();

}  // namespace gantrell
