// The running system's version, as the platform's version query reports it.
#pragma once

#include <cstdint>

namespace gantrell {

class Registry;

// Platform ids of the version query.
constexpr std::uint32_t kVerPlatformWin32s = 0;
constexpr std::uint32_t kVerPlatformWin32Windows = 1;  // the 95/98/Me family
constexpr std::uint32_t kVerPlatformWin32Nt = 2;

struct OsVersionInfo {
  std::uint32_t platform_id = kVerPlatformWin32Nt;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  // The whole build field. On the 95/98/Me family its upper 16 bits carry
  // the major and minor version and only the low 16 bits are the build.
  std::uint32_t build = 0;
};

class OsVersion {
 public:
  virtual ~OsVersion() = default;

  // Fills *info. Returns false when the version cannot be determined.
  virtual bool Query(OsVersionInfo* info) const = 0;
};

}  // namespace gantrell
