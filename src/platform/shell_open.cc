#include "platform/shell_open.h"

#include <string_view>

namespace gantrell {

std::string ShellOpenParameters(const std::string& path) {
  if (path.size() < 4)
    return {};
  const std::string_view ending = std::string_view(path).substr(path.size() - 4);
  if (ending == ".com" || ending == ".exe" || ending == ".bin")
    return " ";
  return {};
}

std::string ShellOpenWorkingFolder(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool OpenThroughShell(ShellOpen& shell, const std::string& path) {
  return shell.Open(path, ShellOpenWorkingFolder(path), ShellOpenParameters(path));
}

}  // namespace gantrell
