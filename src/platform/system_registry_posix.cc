#include "platform/system_registry.h"

#include "platform/os_version_registry.h"
#include "platform/registry_file.h"

namespace gantrell {

std::unique_ptr<Registry> MakeSystemRegistry() {
  return std::make_unique<FileRegistry>();
}

std::unique_ptr<OsVersion> MakeSystemOsVersion(const Registry& registry) {
  return std::make_unique<RegistryOsVersion>(registry);
}

}  // namespace gantrell
