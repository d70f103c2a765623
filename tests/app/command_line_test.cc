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

// The dialog's check completes what was typed, then applies the one check
// every address goes through (the console's "add" and offered addresses
// use it too): a bare server such as "127.0.0.1" becomes the address of its
// root instead of one that fails later.
TEST(AddressCheckTest, TypedAddressesAreCompletedThenCheckedLikeEveryOther) {
  struct Case {
    std::string typed;
    std::string message;
    std::string result;
  };
  const Case cases[] = {
      {"http://updates.example.org/", "", "http://updates.example.org/"},
      {"http://updates.example.org", "", "http://updates.example.org/"},
      {"updates.example.org/", "", "http://updates.example.org/"},
      {"127.0.0.1", "", "http://127.0.0.1/"},
      {" 127.0.0.1:8080\n", "", "http://127.0.0.1:8080/"},
      {"HTTP://Host/", "", "http://Host/"},
      {"https://host/updates/", "", "https://host/updates/"},
      {"http://host:80/", "", "http://host:80/"},
      {"http://host/path", "Object must be a directory", ""},
      {"host/file.txt", "Object must be a directory", ""},
      {"http://host/?q=1", "Object must be a directory", ""},
      {"ftp://host/", "The resource must be a legal web address", ""},
      {"http://host:x/", "Unable to parse this web address", ""},
      {"http://user@host/", "Unable to parse this web address", ""},
      {"http://a b/", "Unable to parse this web address", ""},
      {"", "Unable to parse this web address", ""},
      {"http://", "Unable to parse this web address", ""},
  };
  for (const Case& c : cases) {
    std::string address = c.typed;
    EXPECT_EQ(CheckProviderAddress(&address), c.message) << c.typed;
    if (c.message.empty()) {
      EXPECT_EQ(address, c.result) << c.typed;
      EXPECT_EQ(AddressProblem(address), "") << c.typed;
    }
  }
}

}  // namespace
}  // namespace gantrell
