// The windowed client's shell open: Qt's desktop services hand the file to
// the application the desktop associates with it. The desktop chooses the
// working folder, and the parameters have no place there; both are
// ignored.
#pragma once

#include "platform/shell_open.h"

namespace gantrell::ui {

class QtShellOpen : public ShellOpen {
 public:
  bool Open(const std::string& path, const std::string& working_folder,
            const std::string& parameters) override;
};

}  // namespace gantrell::ui
