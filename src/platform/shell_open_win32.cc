#include "platform/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "platform/win32_text.h"

namespace gantrell {

// ShellExecuteW starts the application associated with the file's type (or
// the program itself), in `working_folder`, with `parameters`: the single
// blank that ShellOpenParameters gives a program, so that it starts with an
// empty command line.
bool OpenWithSystemShell(const std::string& path, const std::string& working_folder,
                         const std::string& parameters, std::string* error) {
  const std::wstring file = WidePath(path);
  const std::wstring folder = WidePath(working_folder);
  const std::wstring arguments = Widen(parameters);
  const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", file.c_str(),
                                           arguments.empty() ? nullptr : arguments.c_str(),
                                           folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
  // Values above 32 mean success; the others are error codes.
  const auto code = reinterpret_cast<std::intptr_t>(result);
  if (code > 32)
    return true;
  if (error != nullptr) {
    *error = "Cannot open " + path + ": " +
             (code == SE_ERR_NOASSOC ? std::string("no application is associated with it")
                                     : SystemErrorText(static_cast<unsigned long>(code)));
  }
  return false;
}

}  // namespace gantrell
