// A whole run beside a user's own files: the provider gives an item a new
// number, then the item is moved and deleted next to a file of the user's,
// against a site served on 127.0.0.1. Nothing of the user's is taken.
#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

std::string Manifest(int tool_number) {
  return "name = Demo Tools\n"
         "[group \"Tools\"]\n"
         "[item \"tool.bin\"]\n"
         "file = tool.bin\n"
         "number = " +
         std::to_string(tool_number) +
         "\n"
         "[item \"data.pak\"]\n"
         "file = data.pak\n"
         "number = 7\n";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliUserFilesTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(Path("files/tool.bin")) << "tool bytes";
    std::ofstream(Path("files/data.pak")) << "data bytes";
    MakeKeyServer();
    MakeSite("demo", Manifest(1));
    ServeSites();
    ASSERT_EQ(Cli({"add", Demo()}).status, 0);
    folder_ = DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  }
  std::string Demo() const { return key_server_ + "/demo/"; }

  // The site again, signed with the key it was made with.
  void Republish(const std::string& manifest) {
    const std::string file = Path("files/site.manifest");
    std::ofstream(file) << "key = " << Path("keys/1.pem") << "\n" << manifest;
    Publish({"site", "--out", Path("www/demo"), file});
  }

  std::string folder_;
};

TEST_F(CliUserFilesTest, ANumberChangeThenAMoveAndADeleteBesideTheUsersFiles) {
  RunResult r = Cli({"download", "tool.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(ReadWholeFile(folder_ + "/1/tool.bin"), "tool bytes");
  const std::string notes = Path("home/notes.txt");
  std::ofstream(notes) << "the user's notes";

  // The provider renumbers the item: the file follows it into the new
  // number folder, and the old one is left with nothing in it.
  Republish(Manifest(2));
  r = Cli({"check", "--force"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(folder_ + "/2/tool.bin"), "tool bytes");
  EXPECT_FALSE(fs::exists(folder_ + "/1/tool.bin"));
  r = Cli({"files", "--offline"});
  EXPECT_TRUE(Has(r.out, folder_ + "/2/tool.bin")) << r.out;
  EXPECT_FALSE(Has(r.out, "(missing)")) << r.out;
  r = Cli({"list", "--offline"});
  EXPECT_FALSE(Has(r.out, "tool.bin")) << r.out;  // still downloaded: not offered again

  // Onto the user's file: asked, and No (the default) keeps both.
  r = Cli({"move", "tool.bin", notes, "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "File already exists at " + notes + ". Overwrite?")) << r.err;
  EXPECT_EQ(ReadWholeFile(notes), "the user's notes");
  EXPECT_EQ(ReadWholeFile(folder_ + "/2/tool.bin"), "tool bytes");

  // Into the user's folder, beside the notes, by a relative-free folder
  // name: the file keeps its own name.
  r = Cli({"move", "tool.bin", Path("home"), "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Moved tool.bin to " + Path("home/tool.bin") + "\n");
  EXPECT_FALSE(fs::exists(folder_ + "/2/tool.bin"));

  // Delete takes the item's file to the trash and nothing else.
  r = Cli({"files", "--offline", "--yes", "delete", "tool.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Moved " + Path("home/tool.bin") + " to the trash (" + Path("data/Trash") + ")\n");
  EXPECT_EQ(ReadWholeFile(Path("data/Trash/files/tool.bin")), "tool bytes");
  EXPECT_EQ(ReadWholeFile(notes), "the user's notes");

  // The record no longer has a file: a move now moves nothing, and a
  // second delete finds nothing to take.
  r = Cli({"files", "--offline", "delete", "tool.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadWholeFile(notes), "the user's notes");

  // An item never downloaded, pointed at the user's file on Yes: its
  // download still asks before replacing it, and No keeps the notes.
  r = Cli({"move", "data.pak", notes, "--yes", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Will save data.pak to " + notes + "\n");
  r = Cli({"download", "data.pak", "--no", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "File already exists at " + notes + ". Overwrite?")) << r.err;
  EXPECT_EQ(ReadWholeFile(notes), "the user's notes");
  EXPECT_TRUE(Has(r.out, "Not downloaded:\n  data.pak from Demo Tools")) << r.out;
  // Only the item's own folder was ever touched.
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("home")), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace gantrell::cli_test
