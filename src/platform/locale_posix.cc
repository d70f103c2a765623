// The user's languages on POSIX systems: the gettext variables.
#include <cstdlib>

#include "platform/catalogue.h"

namespace gantrell {

std::vector<std::string> UserLanguages() {
  return LanguagesFromEnvironment(
      [](const char* name) -> const char* { return std::getenv(name); });
}

}  // namespace gantrell
