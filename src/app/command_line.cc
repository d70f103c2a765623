#include "app/command_line.h"

#include <cstdio>

#include "platform/open_file.h"

namespace gantrell {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  for (const std::string& argument : arguments) {
    if (argument == "-p") {
      line.delay_start = true;
    } else if (argument == "-s") {
      line.silent = true;
    } else if (argument == "-c") {
      line.allow_configure = false;
    } else if (argument == "-pr") {
      line.lock_providers = true;
    } else {
      line.file_argument = argument;
    }
  }
  return line;
}

std::string ReadPendingProviders(const std::string& file_argument) {
  if (file_argument.empty())
    return {};
  std::FILE* file = OpenFile(file_argument, "rb");
  if (file == nullptr)
    return {};
  char text[512];
  const std::size_t got = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  // The text ends at its first zero byte, as a C string would.
  std::string pending(text, got);
  if (const std::size_t zero = pending.find('\0'); zero != std::string::npos)
    pending.resize(zero);
  return pending;
}

}  // namespace gantrell
