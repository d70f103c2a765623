// Where the tests find the shared vectors and the programs this build made.
#pragma once

#include <string>

namespace gantrell::testing {

// A file among the independently made vectors.
std::string VectorPath(const std::string& name);

// A program built by this build, e.g. "tools/gantrell-publish" (with
// ".exe" added on Windows).
std::string BuiltProgram(const std::string& relative_path);

// `path` with the system's own separator ("site\\public.dat" on Windows),
// as a program that joins paths with std::filesystem writes it.
std::string SystemSpelling(const std::string& path);

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace gantrell::testing
