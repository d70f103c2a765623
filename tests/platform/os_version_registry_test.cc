#include "platform/os_version_registry.h"

#include <gtest/gtest.h>

#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::TempRegistry;

constexpr std::string_view kNt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::string_view kNineX = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

OsVersionInfo QueryOrFail(const Registry& registry) {
  OsVersionInfo info;
  info.platform_id = 99;
  std::string error;
  EXPECT_TRUE(RegistryOsVersion(registry).Query(&info, &error)) << error;
  return info;
}

TEST(RegistryOsVersionTest, AnEmptyRegistryIsNtTen) {
  TempRegistry reg;
  OsVersionInfo info = QueryOrFail(reg.registry());
  EXPECT_EQ(info.platform_id, kVerPlatformWin32Nt);
  EXPECT_EQ(info.major, 10u);
  EXPECT_EQ(info.minor, 0u);
  EXPECT_EQ(info.build, 0u);
}

TEST(RegistryOsVersionTest, ReadsAGivenNtVersion) {
  TempRegistry reg;
  reg.SetDword(RegRoot::kLocalMachine, kNt, "CurrentMajorVersionNumber", 5);
  reg.SetDword(RegRoot::kLocalMachine, kNt, "CurrentMinorVersionNumber", 1);
  reg.SetString(RegRoot::kLocalMachine, kNt, "CurrentBuildNumber", "2600");
  reg.SetString(RegRoot::kLocalMachine, kNt, "CurrentVersion", "6.3");  // the numbers win
  OsVersionInfo info = QueryOrFail(reg.registry());
  EXPECT_EQ(info.platform_id, kVerPlatformWin32Nt);
  EXPECT_EQ(info.major, 5u);
  EXPECT_EQ(info.minor, 1u);
  EXPECT_EQ(info.build, 2600u);
}

TEST(RegistryOsVersionTest, OlderSystemsGiveTheVersionAsText) {
  TempRegistry reg;
  reg.SetString(RegRoot::kLocalMachine, kNt, "CurrentVersion", "3.51");
  reg.SetString(RegRoot::kLocalMachine, kNt, "CurrentBuildNumber", "1057");
  OsVersionInfo info = QueryOrFail(reg.registry());
  EXPECT_EQ(info.major, 3u);
  EXPECT_EQ(info.minor, 51u);
  EXPECT_EQ(info.build, 1057u);
}

TEST(RegistryOsVersionTest, EmulatesTheNineXFamilyWithItsBuildLayout) {
  struct Case {
    std::string_view version;
    std::uint32_t major, minor, build_field;
  };
  const Case cases[] = {
      {"4.0.950", 4, 0, 0x040003b6},    {"4.10.1998", 4, 10, 0x040a07ce},
      {"4.10.2222", 4, 10, 0x040a08ae}, {"4.90.3000", 4, 90, 0x045a0bb8},
      {"4.10", 4, 10, 0x040a0000},      {"255.255.65535", 255, 255, 0xffffffff},
  };
  for (const Case& c : cases) {
    TempRegistry reg;
    reg.SetString(RegRoot::kLocalMachine, kNineX, "VersionNumber", c.version);
    reg.SetDword(RegRoot::kLocalMachine, kNt, "CurrentMajorVersionNumber", 10);
    OsVersionInfo info = QueryOrFail(reg.registry());
    EXPECT_EQ(info.platform_id, kVerPlatformWin32Windows) << c.version;
    EXPECT_EQ(info.major, c.major) << c.version;
    EXPECT_EQ(info.minor, c.minor) << c.version;
    EXPECT_EQ(info.build, c.build_field) << c.version;
    EXPECT_EQ(info.build & 0xffff, info.build - (c.major << 24 | c.minor << 16)) << c.version;
  }
}

TEST(RegistryOsVersionTest, UnusableVersionValuesFailTheQuery) {
  struct Case {
    std::string_view key;
    std::string_view name;
    RegValue value;
  };
  const Case cases[] = {
      {kNineX, "VersionNumber", RegValue::Text("4.x.1998")},
      {kNineX, "VersionNumber", RegValue::Text("4")},
      {kNineX, "VersionNumber", RegValue::Text("4.10.70000")},
      {kNineX, "VersionNumber", RegValue::Text("4.256.1")},
      {kNineX, "VersionNumber", RegValue::Text("4.10.1998.1")},
      {kNineX, "VersionNumber", RegValue::Dword(4)},
      {kNt, "CurrentMajorVersionNumber", RegValue::Text("6")},
      {kNt, "CurrentMinorVersionNumber", RegValue::Binary({1, 0})},
      {kNt, "CurrentVersion", RegValue::Text("six")},
      {kNt, "CurrentBuildNumber", RegValue::Text("19045a")},
      {kNt, "CurrentBuildNumber", RegValue::Text("")},
  };
  for (const Case& c : cases) {
    TempRegistry reg;
    reg.Set(RegRoot::kLocalMachine, c.key, c.name, c.value);
    OsVersionInfo info;
    info.major = 77;
    std::string error;
    EXPECT_FALSE(RegistryOsVersion(reg.registry()).Query(&info, &error)) << c.name;
    EXPECT_NE(error.find(std::string(c.name)), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(info.major, 77u) << "a failed query leaves the result alone";
  }
}

}  // namespace
}  // namespace gantrell
