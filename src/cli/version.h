// The version every Gantrell program reports with --version.
#pragma once

#include <string_view>

namespace gantrell {

inline constexpr std::string_view kVersion = "0.1";

}  // namespace gantrell
