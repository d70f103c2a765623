// Where this process runs from.
#pragma once

#include <string>
#include <vector>

namespace gantrell {

// The process's current folder, absolute; empty when it cannot be found.
std::string WorkingFolder();

// The absolute path of the running program; empty when it cannot be found.
std::string ProgramPath();

// The program's arguments after its name, in UTF-8. On Windows they are
// read from the UTF-16 command line, because the `argv` of main holds them
// in the ANSI code page, which loses characters outside it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace gantrell
