#include "platform/open_file.h"

#include <stdio.h>

#include "platform/win32_text.h"

namespace gantrell {

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return ::_wfopen(WidePath(path).c_str(), Widen(mode).c_str());
}

}  // namespace gantrell
