#include "platform/environment.h"

#include <cstdlib>

namespace gantrell {

bool LookUpEnvironment(const std::string& name, std::string* value) {
  const char* found = std::getenv(name.c_str());
  if (found == nullptr)
    return false;
  *value = found;
  return true;
}

}  // namespace gantrell
