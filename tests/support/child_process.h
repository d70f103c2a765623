// Runs a program of this build as a child process and waits for it, its
// standard input empty and its output in files: fork and exec on POSIX
// systems, CreateProcessW on Windows.
#pragma once

#include <string>
#include <vector>

namespace gantrell::testing {

// Runs `argv` (argv[0] is the program's path) in `working_folder`, with
// standard output and error written to `out_file` and `err_file`, and
// returns its exit status; -1 when it could not be started or did not exit
// normally (a signal). The environment is this process's.
int RunProgram(const std::vector<std::string>& argv, const std::string& working_folder,
               const std::string& out_file, const std::string& err_file);

}  // namespace gantrell::testing
