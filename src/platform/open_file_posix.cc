#include "platform/open_file.h"

namespace gantrell {

// The program's paths are the file system's bytes.
std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace gantrell
