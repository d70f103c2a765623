#pragma once

// This system's own registry and version query: on Windows the real
// registry and the system's version; elsewhere the `.reg` files
// (registry_file.h) and the version they hold (os_version_registry.h).

#include <memory>

#include "platform/os_version.h"
#include "platform/registry.h"

namespace gantrell {

std::unique_ptr<Registry> MakeSystemRegistry();

// `registry` is borrowed (the one MakeSystemRegistry gave) and must outlive
// the result.
std::unique_ptr<OsVersion> MakeSystemOsVersion(const Registry& registry);

}  // namespace gantrell
