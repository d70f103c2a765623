// The windowed client's "--help": its command line, in the user's
// language.
#pragma once

#include <QString>

namespace gantrell::ui {

// The help text, translated by the catalogue installed (if any).
QString CommandHelp();

// Answers "--help" before the window starts (so it works without a
// display): prints CommandHelp() in the user's language to the standard
// output. Returns the program's exit status.
int PrintCommandHelp(int argc, char** argv);

}  // namespace gantrell::ui
