#include "platform/os_version_registry.h"

#include <charconv>
#include <string_view>

#include "platform/catalogue.h"

namespace gantrell {
namespace {

constexpr std::string_view kNtKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::string_view kNineXKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

bool IsText(const RegValue& value) {
  return value.type == kRegSz || value.type == kRegExpandSz;
}

// A decimal number no greater than `limit`, the whole of `text`.
bool ParseDecimal(std::string_view text, std::uint32_t limit, std::uint32_t* number) {
  const char* end = text.data() + text.size();
  auto [stop, problem] = std::from_chars(text.data(), end, *number);
  return !text.empty() && problem == std::errc() && stop == end && *number <= limit;
}

// "4.10.1998" or "6.1": two or three dot-separated decimal parts, each within
// its limit. A missing third part is 0.
bool ParseDottedVersion(std::string_view text, const std::uint32_t (&limits)[3],
                        std::uint32_t (&parts)[3]) {
  parts[0] = parts[1] = parts[2] = 0;
  std::size_t count = 0;
  while (count < 3) {
    std::size_t dot = text.find('.');
    if (!ParseDecimal(text.substr(0, dot), limits[count], &parts[count])) {
      return false;
    }
    ++count;
    if (dot == std::string_view::npos) {
      break;
    }
    text.remove_prefix(dot + 1);
    if (count == 3) {
      return false;  // a fourth part
    }
  }
  return count >= 2;
}

bool ReadDword(const RegValue& value, std::uint32_t* number) {
  if (value.type != kRegDword || value.data.size() != 4) {
    return false;
  }
  *number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
            static_cast<std::uint32_t>(value.data[3]) << 24;
  return true;
}

}  // namespace

bool RegistryOsVersion::Query(OsVersionInfo* info) const {
  std::string ignored;
  return Query(info, &ignored);
}

bool RegistryOsVersion::Query(OsVersionInfo* info, std::string* error) const {
  OsVersionInfo result;
  bool nine_x = false;
  if (!QueryNineX(&nine_x, &result, error)) {
    return false;
  }
  if (!nine_x && !QueryNt(&result, error)) {
    return false;
  }
  *info = result;
  return true;
}

bool RegistryOsVersion::QueryNineX(bool* found, OsVersionInfo* info, std::string* error) const {
  RegValue value;
  *found = registry_.QueryValue(RegRoot::kLocalMachine, kNineXKey, "VersionNumber", &value);
  if (!*found) {
    return true;
  }
  std::uint32_t parts[3];
  if (!IsText(value) || !ParseDottedVersion(value.AsText(), {255, 255, 65535}, parts)) {
    *error =
        Subst(Tr("VersionNumber under HKEY_LOCAL_MACHINE\\%1 must be a text such as \"4.10.1998\""),
              {std::string(kNineXKey)});
    return false;
  }
  info->platform_id = kVerPlatformWin32Windows;
  info->major = parts[0];
  info->minor = parts[1];
  info->build = parts[0] << 24 | parts[1] << 16 | parts[2];
  return true;
}

bool RegistryOsVersion::QueryNt(OsVersionInfo* info, std::string* error) const {
  const std::string where = " under HKEY_LOCAL_MACHINE\\" + std::string(kNtKey);
  info->platform_id = kVerPlatformWin32Nt;
  info->major = 10;
  info->minor = 0;
  info->build = 0;

  RegValue major;
  RegValue minor;
  RegValue text;
  bool has_major =
      registry_.QueryValue(RegRoot::kLocalMachine, kNtKey, "CurrentMajorVersionNumber", &major);
  bool has_minor =
      registry_.QueryValue(RegRoot::kLocalMachine, kNtKey, "CurrentMinorVersionNumber", &minor);
  if (has_major || has_minor) {
    if ((has_major && !ReadDword(major, &info->major)) ||
        (has_minor && !ReadDword(minor, &info->minor))) {
      *error = Subst(
          Tr("CurrentMajorVersionNumber and CurrentMinorVersionNumber%1 must be REG_DWORD values"),
          {where});
      return false;
    }
    if (!has_minor) {
      info->minor = 0;
    }
  } else if (registry_.QueryValue(RegRoot::kLocalMachine, kNtKey, "CurrentVersion", &text)) {
    // Systems before 10 only have the version as text.
    std::uint32_t parts[3];
    if (!IsText(text) || !ParseDottedVersion(text.AsText(), {0xffffffff, 0xffffffff, 0}, parts) ||
        parts[2] != 0) {
      *error = Subst(Tr("CurrentVersion%1 must be a text such as \"6.1\""), {where});
      return false;
    }
    info->major = parts[0];
    info->minor = parts[1];
  }

  RegValue build;
  if (registry_.QueryValue(RegRoot::kLocalMachine, kNtKey, "CurrentBuildNumber", &build)) {
    if (!IsText(build) || !ParseDecimal(build.AsText(), 0xffffffff, &info->build)) {
      *error = Subst(Tr("CurrentBuildNumber%1 must be a decimal text such as \"19045\""), {where});
      return false;
    }
  }
  return true;
}

}  // namespace gantrell
