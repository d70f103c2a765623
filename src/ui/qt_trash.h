// The windowed client's trash: Qt's, which puts the file in the trash of
// the desktop the client runs on.
#pragma once

#include "platform/trash.h"

namespace gantrell::ui {

class QtTrash : public Trash {
 public:
  bool MoveToTrash(const std::string& path, std::string* where, std::string* error) override;
};

}  // namespace gantrell::ui
