// Whole runs of an attacker between gantrell-cli and a site built with
// gantrell-publish: an older file served in place of the one the signed list
// gives, and an older list served in place of the one the client has seen.
#include <ctime>
#include <regex>

#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

std::string IsoDaysAgo(int days) {
  const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
  std::tm date;
  localtime_r(&when, &date);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &date);
  return text;
}

class CliBoundListTest : public CliTest {
 protected:
  void SetUp() override {
    MakeKeyServer();
    Publish({"keygen", "--bits", "1024", Path("keys/bound.pem"), Path("keys/bound.dat")});
    ServeSites();
  }

  // Builds www/bound/ with `tool` as the bytes of its one item, listed on
  // the day `list_age_days` ago; the same key every time.
  void PublishVersion(const std::string& tool, int list_age_days) {
    std::ofstream(Path("files/tool.bin"), std::ios::trunc) << tool;
    std::ofstream(Path("files/bound.manifest"), std::ios::trunc)
        << "name = Bound Tools\nkey = " << Path("keys/bound.pem")
        << "\nlist-date = " << IsoDaysAgo(list_age_days)
        << "\n[group \"Tools\"]\n[item \"tool.bin\"]\nfile = tool.bin\nnumber = 1\n";
    Publish({"site", "--out", Path("www/bound"), Path("files/bound.manifest")});
  }
  void Keep(const std::string& name, const std::string& as) {
    fs::copy_file(Path("www/bound/" + name), Path("files/" + as),
                  fs::copy_options::overwrite_existing);
  }
  void Serve(const std::string& kept, const std::string& name) {
    fs::copy_file(Path("files/" + kept), Path("www/bound/" + name),
                  fs::copy_options::overwrite_existing);
  }
  std::string Bound() const { return key_server_ + "/bound/"; }
  std::string ToolFile() const {
    return DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_bound_/1/tool.bin";
  }
};

TEST_F(CliBoundListTest, AnOlderFileServedBesideTheNewListIsRefusedUntilTheRightOneComes) {
  const std::string v1 = "tool, version 1";
  const std::string v2 = "tool, version 2";
  PublishVersion(v1, 1);
  RunResult r = Cli({"add", Bound()});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Cli({"download", "--offline"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ASSERT_EQ(ReadWholeFile(ToolFile()), v1);
  Keep("1.dat", "v1.dat");
  Keep("1.sig", "v1.sig");

  // Version 2, of the same length, published with the tool; the attacker
  // serves the new list with version 1's file and its valid signature.
  PublishVersion(v2, 0);
  Keep("1.dat", "v2.dat");
  Keep("1.sig", "v2.sig");
  Serve("v1.dat", "1.dat");
  Serve("v1.sig", "1.sig");
  r = Cli({"check", "--force"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("1 new item to download"), std::string::npos) << r.out;
  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("The downloaded file does not match its entry in the update list. "
                       "Deleting file. (tool.bin: " +
                       Bound() + "1.dat)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadWholeFile(ToolFile()), v1);
  // The stamp was not taken: the item is still new.
  r = Cli({"list", "--offline"});
  EXPECT_NE(r.out.find("tool.bin  Bound Tools"), std::string::npos) << r.out;

  // The digest came with the list and lasts until the download, across
  // runs; with the right file the download succeeds.
  Serve("v2.dat", "1.dat");
  Serve("v2.sig", "1.sig");
  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadWholeFile(ToolFile()), v2);
  r = Cli({"list", "--offline"});
  EXPECT_NE(r.out.find("No new items to download."), std::string::npos) << r.out;
}

TEST_F(CliBoundListTest, AnOlderListIsTheProvidersStatusAndKeepsTheNewerItems) {
  PublishVersion("tool, version 1", 3);
  Keep("control.txt", "old-control.txt");
  Keep("control.sig", "old-control.sig");
  ASSERT_EQ(Cli({"add", Bound()}).status, 0);
  PublishVersion("tool, version 2", 1);
  ASSERT_EQ(Cli({"check", "--force"}).status, 0);
  ASSERT_EQ(Cli({"download", "--offline"}).status, 0);

  Serve("old-control.txt", "control.txt");
  Serve("old-control.sig", "control.sig");
  const std::string refusal = "The update list of Bound Tools is older than the one already seen (" +
                              IsoDaysAgo(3) + " < " + IsoDaysAgo(1) + "); it was ignored.";
  RunResult r = Cli({"check", "--force"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find(refusal), std::string::npos) << r.err;
  // The provider's row: still verified, nothing new, the refusal as its status.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("/bound/ +Bound Tools +yes +0 +The update list "
                                                  "of Bound Tools is older")))
      << r.out;
  EXPECT_NE(r.out.find(refusal + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("No new items to download."), std::string::npos) << r.out;

  r = Cli({"providers", "--force", "--json"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("\"status\":13,\"status_text\":\"" + refusal + "\",\"reason\":\"" +
                       refusal + "\""),
            std::string::npos)
      << r.out;
  EXPECT_EQ(ReadWholeFile(ToolFile()), "tool, version 2");
}

}  // namespace
}  // namespace gantrell::cli_test
