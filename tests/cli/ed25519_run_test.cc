// A provider's move from RSA to Ed25519, whole, over 127.0.0.1: the
// provider publishes with gantrell-publish, a subscriber downloads, the
// provider rotates to Ed25519, the subscriber follows the chain and keeps
// downloading, and what is signed otherwise is refused.
#include <regex>

#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

class Ed25519RunTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(Path("files/tool.bin")) << "tool bytes";
    std::ofstream(Path("files/next.bin")) << std::string(300000, 'n');
    std::ofstream(Path("files/third.bin")) << "third item";
    MakeKeyServer();
    Publish({"keygen", "--bits", "1024", Path("keys/rsa.pem"), Path("keys/rsa.dat")});
    BuildSite("rsa.pem", {{"tool.bin", 1}});
    ServeSites();
  }

  // Builds www/demo/ signed with keys/KEY, with the files and numbers given.
  void BuildSite(const std::string& key,
                 const std::vector<std::pair<std::string, int>>& items) {
    std::ofstream manifest(Path("files/demo.manifest"));
    manifest << "key = " << Path("keys/" + key) << "\nname = Demo Tools\n[group \"Tools\"]\n";
    for (const auto& [file, number] : items) {
      manifest << "[item \"" << file << "\"]\nfile = " << Path("files/" + file)
               << "\nnumber = " << number << "\n";
    }
    manifest.close();
    Publish({"site", "--out", Path("www/demo"), Path("files/demo.manifest")});
  }

  std::string Demo() const { return key_server_ + "/demo/"; }
  std::string Folder() const {
    return DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  }
  // The demo provider's row of "providers".
  std::string ProviderRow() {
    const RunResult r = Cli({"providers", "--offline"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::smatch row;
    std::regex_search(r.out, row, std::regex("[^\n]*/demo/[^\n]*"));
    return row.str();
  }
};

TEST_F(Ed25519RunTest, AnRsaProviderMovesToEd25519AndItsSubscriberFollows) {
  RunResult r = Cli({"add", Demo()});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Cli({"download", "--offline"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadWholeFile(Folder() + "/1/tool.bin"), "tool bytes");
  EXPECT_TRUE(std::regex_search(ProviderRow(), std::regex(" yes +RSA 1024 / SHA-1 +")))
      << ProviderRow();

  // The provider moves to Ed25519 and publishes the next item with it.
  Publish({"rotate", "--site", Path("www/demo"), "--old-key", Path("keys/rsa.pem"), "--new-key",
           Path("keys/ed.pem"), "--type", "ed25519"});
  BuildSite("ed.pem", {{"tool.bin", 1}, {"next.bin", 2}});
  const std::string ed_record = ReadWholeFile(Path("www/demo/public.dat"));
  ASSERT_EQ(ed_record.size(), 52u);

  r = Cli({"check", "--force"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("/demo/ +Demo Tools +yes +1 +update list "
                                                  "verified\n")))
      << r.out;
  // The subscriber's stored key is now the Ed25519 record.
  EXPECT_NE(ReadWholeFile(DataFolder() + "/keydata.dat").find(ed_record), std::string::npos);
  EXPECT_TRUE(std::regex_search(ProviderRow(), std::regex(" yes +Ed25519 +"))) << ProviderRow();
  r = Cli({"providers", "--offline", "--json"});
  EXPECT_NE(r.out.find("\"address\":\"" + Demo() +
                       "\",\"name\":\"Demo Tools\",\"built_in\":false,\"verified\":true,"
                       "\"key\":\"Ed25519\",\"key_kind\":\"ed25519\",\"key_bits\":256,"),
            std::string::npos)
      << r.out;

  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadWholeFile(Folder() + "/2/next.bin"), std::string(300000, 'n'));

  // A tampered item is refused and not filed.
  BuildSite("ed.pem", {{"tool.bin", 1}, {"next.bin", 2}, {"third.bin", 3}});
  ASSERT_EQ(Cli({"check", "--force"}).status, 0);
  std::ofstream(Path("www/demo/3.dat"), std::ios::trunc) << "third itex";
  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Download corrupt. Deleting file. (third.bin: " + Demo() + "3.dat)"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Folder() + "/3/third.bin"));

  // So is the item signed again with the old RSA key, before its bytes are
  // fetched.
  std::ofstream(Path("www/demo/3.dat"), std::ios::trunc) << "third item";
  Publish({"sign", "--key", Path("keys/rsa.pem"), "--out", Path("www/demo/3.sig"),
           Path("www/demo/3.dat")});
  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Bad signature file format. Download aborted. (third.bin: " + Demo() +
                       "3.sig)"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Folder() + "/3/third.bin"));

  // A control file signed again with the old RSA key is refused.
  Publish({"sign", "--key", Path("keys/rsa.pem"), "--out", Path("www/demo/control.sig"),
           Path("www/demo/control.txt")});
  r = Cli({"check", "--force"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("/demo/ +Demo Tools +(yes|no) +[0-9-]+ +failed: the update list signature "
                        "does not verify\n")))
      << r.out;
  EXPECT_TRUE(std::regex_search(ProviderRow(), std::regex(" Ed25519 +"))) << ProviderRow();
}

}  // namespace
}  // namespace gantrell::cli_test
