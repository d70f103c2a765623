// The console's shell open: the desktop's "xdg-open" launcher, started
// directly (no shell reads the path) in the file's working folder, with
// standard input and output on /dev/null so that nothing it prints mixes
// with the console's own output. The launcher runs detached: Open returns
// once it has started, and nothing waits for it or for the application it
// starts. The parameters have no place on xdg-open's command line and are
// ignored.
#pragma once

#include <string>

#include "platform/shell_open.h"

namespace gantrell {

class XdgShellOpen : public ShellOpen {
 public:
  // `launcher` is the program to run: a bare name is looked up on PATH.
  explicit XdgShellOpen(std::string launcher = "xdg-open");

  // False when the launcher cannot be found or started, with the reason in
  // *error when given.
  bool Open(const std::string& path, const std::string& working_folder,
            const std::string& parameters) override;
  bool Open(const std::string& path, const std::string& working_folder,
            const std::string& parameters, std::string* error);

 private:
  std::string m_strLauncher;
};

}  // namespace gantrell
