#include "model/size_text.h"

#include <cstdio>

#include "platform/catalogue.h"

namespace gantrell {

std::string FormatSizeText(std::int64_t bytes) {
  constexpr std::int64_t kMebi = 1048576;
  char number[64];
  if (bytes <= kMebi) {
    std::snprintf(number, sizeof number, "%2.1f", static_cast<double>(bytes / 1024));
    return Subst(Tr("Size: %1K"), {number});
  }
  std::snprintf(number, sizeof number, "%2.1f", static_cast<double>(bytes / kMebi));
  return Subst(Tr("Size: %1M"), {number});
}

}  // namespace gantrell
