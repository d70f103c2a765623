// The "Size: " text shown for an item's length.
#pragma once

#include <cstdint>
#include <string>

namespace gantrell {

// "Size: " and the whole number of kibibytes ("%2.1fK") for at most
// 1 048 576 bytes, else of mebibytes ("%2.1fM"). The division is done in
// integers first, so the decimal is always 0.
std::string FormatSizeText(std::int64_t bytes);

}  // namespace gantrell
