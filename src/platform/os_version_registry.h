// The system version read from the registry, so that a machine without the
// platform's version query can report (and tests can set) any version.
//
// HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows NT\CurrentVersion" gives an
// NT-family version: "CurrentMajorVersionNumber" and
// "CurrentMinorVersionNumber" (REG_DWORD) or else the older text value
// "CurrentVersion" ("6.1"), and "CurrentBuildNumber" (text, "19045"). Without
// any of them the version is NT 10.0 build 0.
//
// A 95/98/Me machine is emulated when HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion" holds the text value
// "VersionNumber" ("4.10.1998"): platform id 1 with that major and minor
// version, and a build field laid out as that family reports it: the major
// version in bits 24 to 31, the minor in bits 16 to 23, the build in bits 0
// to 15.
#pragma once

#include <string>

#include "platform/os_version.h"
#include "platform/registry.h"

namespace gantrell {

class RegistryOsVersion : public OsVersion {
 public:
  // `registry` is borrowed and must outlive this object.
  explicit RegistryOsVersion(const Registry& registry) : registry_(registry) {}

  // Fails when a version value is present but unusable (a text where a
  // number belongs, "4.x", a part out of range), rather than report a
  // version the machine was not set up to have.
  bool Query(OsVersionInfo* info) const override;

  // As Query, with the reason for a failure in *error.
  bool Query(OsVersionInfo* info, std::string* error) const;

 private:
  bool QueryNineX(bool* found, OsVersionInfo* info, std::string* error) const;
  bool QueryNt(OsVersionInfo* info, std::string* error) const;

  const Registry& registry_;
};

}  // namespace gantrell
