// Where the tests find the shared vectors and the programs this build made.
#pragma once

#include <string>

namespace gantrell::testing {

// A file among the independently made vectors.
std::string VectorPath(const std::string& name);

// A program built by this build, e.g. "tools/gantrell-publish".
std::string BuiltProgram(const std::string& relative_path);

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace gantrell::testing
