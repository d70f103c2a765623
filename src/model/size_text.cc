#include "model/size_text.h"

#include <cstdio>

namespace gantrell {

std::string FormatSizeText(std::int64_t bytes) {
  constexpr std::int64_t kMebi = 1048576;
  char text[64];
  if (bytes <= kMebi) {
    std::snprintf(text, sizeof text, "Size: %2.1fK", static_cast<double>(bytes / 1024));
  } else {
    std::snprintf(text, sizeof text, "Size: %2.1fM", static_cast<double>(bytes / kMebi));
  }
  return text;
}

}  // namespace gantrell
