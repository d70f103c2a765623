// The client's command line: "-p", "-s", "-c", "-pr" and a file of provider
// addresses.
#pragma once

#include <string>
#include <vector>

namespace gantrell {

struct CommandLine {
  bool delay_start = false;     // "-p": wait 10 s before reading the file
  bool silent = false;          // "-s": no window unless something is pending
  bool allow_configure = true;  // cleared by "-c"
  bool lock_providers = false;  // "-pr"
  std::string file_argument;    // the last argument that is no option
};

// Every argument is compared exactly with the four options; one that
// matches none is the file argument, and of several the last one counts.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The provider addresses a file argument offers: at most its first 512
// bytes. Empty when there is no file argument or the file cannot be read.
std::string ReadPendingProviders(const std::string& file_argument);

}  // namespace gantrell
