#include "support/test_paths.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gantrell::testing {

std::string VectorPath(const std::string& name) {
  return std::string(GANTRELL_VECTORS_DIR) + "/" + name;
}

std::string BuiltProgram(const std::string& relative_path) {
  return std::string(GANTRELL_BINARY_DIR) + "/" + relative_path + GANTRELL_EXECUTABLE_SUFFIX;
}

std::string SystemSpelling(const std::string& path) {
  return std::filesystem::path(path).make_preferred().string();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace gantrell::testing
