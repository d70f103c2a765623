#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/address_check.h"
#include "support/temp_dir.h"

namespace gantrell {
namespace {

TEST(CommandLineTest, OptionsAreExactAndTheLastOtherArgumentIsTheFile) {
  CommandLine line = ParseCommandLine({"-p", "-s", "-c", "-pr", "first.txt", "second.txt"});
  EXPECT_TRUE(line.delay_start);
  EXPECT_TRUE(line.silent);
  EXPECT_FALSE(line.allow_configure);
  EXPECT_TRUE(line.lock_providers);
  EXPECT_EQ(line.file_argument, "second.txt");

  for (const char* near_miss : {"-S", "-sx", "-P", "--s", "-pr2", "-C"}) {
    line = ParseCommandLine({near_miss});
    EXPECT_FALSE(line.silent) << near_miss;
    EXPECT_TRUE(line.allow_configure) << near_miss;
    EXPECT_EQ(line.file_argument, near_miss);
  }
  line = ParseCommandLine({});
  EXPECT_EQ(line.file_argument, "");
  EXPECT_TRUE(line.allow_configure);
}

TEST(CommandLineTest, PendingAddressesAreTheFilesFirst512Bytes) {
  testing::TempDir dir;
  EXPECT_EQ(ReadPendingProviders(""), "");
  EXPECT_EQ(ReadPendingProviders(dir.File("missing.txt")), "");
  EXPECT_EQ(ReadPendingProviders(dir.WriteFile("short.txt", "http://a/")), "http://a/");
  const std::string long_text(700, 'x');
  EXPECT_EQ(ReadPendingProviders(dir.WriteFile("long.txt", long_text)), std::string(512, 'x'));
}

TEST(AddressCheckTest, OnlyPlainHttpServerRootsOnPort80) {
  struct Case {
    std::string typed;
    std::string message;
    std::string result;
  };
  const Case cases[] = {
      {"http://updates.example.org/", "", "http://updates.example.org/"},
      {"http://updates.example.org", "", "http://updates.example.org"},
      {"updates.example.org/", "", "http://updates.example.org/"},
      {"HTTP://Host/", "", "HTTP://Host/"},
      {"http://host:80/", "", "http://host:80/"},
      {"http://host/path/", "Object must be a directory", ""},
      {"host/file.txt", "Object must be a directory", ""},
      {"http://host:8080/", "Non-standard port settings not currently supported", ""},
      {"http://host:x/", "Unable to parse this web address", ""},
      {"", "Unable to parse this web address", ""},
      {"http:///", "Unable to parse this web address", ""},
  };
  for (const Case& c : cases) {
    std::string address = c.typed;
    EXPECT_EQ(CheckProviderAddress(&address), c.message) << c.typed;
    if (c.message.empty()) {
      EXPECT_EQ(address, c.result) << c.typed;
    }
  }
}

}  // namespace
}  // namespace gantrell
