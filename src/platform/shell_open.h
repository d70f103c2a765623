// Handing a file to the desktop's default application for it ("open" in
// the desktop's file manager). The windowed client uses Qt's desktop
// services (ui/qt_shell_open.h), the console client xdg-open
// (shell_open_xdg.h); tests put a recording fake in their place.
#pragma once

#include <string>

namespace gantrell {

class ShellOpen {
 public:
  virtual ~ShellOpen() = default;

  // Asks the desktop to open `path` with the application associated with
  // its type, started in `working_folder` (empty: wherever the desktop
  // chooses) with `parameters` (empty: none). Returns as soon as the
  // request is handed over, never waiting for the application. Returns
  // false only when the request could not be handed over at all (no
  // launcher); whether the application then copes with the file is not
  // known. A backend may ignore the working folder and the parameters when
  // its desktop has no place for them.
  virtual bool Open(const std::string& path, const std::string& working_folder,
                    const std::string& parameters) = 0;
};

// The parameter text for a file opened through the shell: a single blank
// when the last four characters of `path` are exactly ".com", ".exe" or
// ".bin" (case-sensitive), so that a program is started with an empty
// command line; empty (no parameters) otherwise.
std::string ShellOpenParameters(const std::string& path);

// The folder a file is opened in: `path` up to and including its last "/"
// (on Windows "/" or "\"); empty when it holds none.
std::string ShellOpenWorkingFolder(const std::string& path);

// Opens `path` through `shell` with the working folder and parameters
// above; the backend's result.
bool OpenThroughShell(ShellOpen& shell, const std::string& path);

// Opens `path` through this system's own shell (xdg-open on a Linux
// desktop); false with the reason in *error (may be null) when it cannot.
bool OpenWithSystemShell(const std::string& path, const std::string& working_folder,
                         const std::string& parameters, std::string* error);

}  // namespace gantrell
