// Where this process runs from.
#pragma once

#include <string>

namespace gantrell {

// The process's current folder, absolute; empty when it cannot be found.
std::string WorkingFolder();

// The absolute path of the running program; empty when it cannot be found.
std::string ProgramPath();

}  // namespace gantrell
