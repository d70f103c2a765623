#include "platform/process.h"

#include <unistd.h>

namespace gantrell {

std::string WorkingFolder() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string ProgramPath() {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0)
    return std::string();
  return std::string(buffer, static_cast<std::size_t>(length));
}

// The arguments are the bytes the shell passed, which is what the file
// system takes.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace gantrell
