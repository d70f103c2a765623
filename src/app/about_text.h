// The texts of the About box and of the menu entry that opens it, shared by
// every frontend that shows them.
#pragma once

#include "gantrell_version.h"

namespace gantrell {

inline constexpr const char* kAboutMenuText = "&About gantrell...";
inline constexpr const char* kAboutTitle = "About gantrell";
inline constexpr const char* kAboutVersion = "Gantrell Version " GANTRELL_VERSION;
inline constexpr const char* kAboutMaker = "Made by the Gantrell developers, 2004-2026";
inline constexpr const char* kAboutSigning = "Digital signing based on OpenSSL encryption library";
inline constexpr const char* kAboutSigningCredit =
    "OpenSSL by the OpenSSL Project, with cryptographic software by Eric Young";

}  // namespace gantrell
