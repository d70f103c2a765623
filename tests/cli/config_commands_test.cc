// Whole runs of the configuration commands against sites on 127.0.0.1.
#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

constexpr char kDemoManifest[] =
    "name = Demo Tools\n"
    "[group \"Tools\"]\n"
    "[item \"tool.bin\"]\n"
    "file = tool.bin\n"
    "number = 1\n"
    "[item \"data.pak\"]\n"
    "file = data.pak\n"
    "number = 2\n"
    "[group \"Drivers\"]\n"
    "[item \"driver.sys\"]\n"
    "file = tool.bin\n"
    "number = 3\n"
    "condition = REG NME \"hardware\" KRT 1 PTH \"Software\\GantrellTest\\Missing\" CPT 0 END\n";

constexpr char kOtherManifest[] =
    "name = Other Tools\n"
    "[group \"Misc\"]\n"
    "[item \"tool.bin\"]\n"
    "file = other.bin\n"
    "number = 9\n";

constexpr char kUnsuitable[] =
    "This item is unsuitable for this machine.\n Do you really want to download it?";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ConfigCommandsTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(Path("files/tool.bin")) << "tool bytes";
    std::ofstream(Path("files/other.bin")) << "other bytes";
    std::ofstream(Path("files/data.pak")) << std::string(5000, 'd');
    MakeKeyServer();
    MakeSite("demo", kDemoManifest);
    MakeSite("other", kOtherManifest);
    ServeSites();
    const RunResult r = Cli({"add", Demo()});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string Demo() const { return key_server_ + "/demo/"; }
  std::string Other() const { return key_server_ + "/other/"; }
  std::string DemoFolder() const {
    return DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  }
};

TEST_F(ConfigCommandsTest, GroupsShowsTheConfigurationAndScanOffEmptiesTheList) {
  RunResult r = Cli({"groups", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "Demo Tools  " + Demo() + "  scan: on\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "  group Tools  scan: on\n")) << r.out;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("    tool\\.bin +10 B +\\d{4}-\\d\\d-\\d\\d +yes +yes +yes +" +
                        DemoFolder() + "/1/tool\\.bin\n")))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("    driver\\.sys .* no +no +no +"))) << r.out;

  r = Cli({"groups", "Demo Tools", "--offline", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "\"name\":\"Drivers\",\"scan\":true,\"items\":[{\"item\":\"driver.sys\""))
      << r.out;
  EXPECT_TRUE(Has(r.out, "\"pending\":false,\"selected\":false,\"suitable\":false")) << r.out;
  EXPECT_FALSE(Has(r.out, "Gantrell\"")) << r.out;  // only the provider asked for

  r = Cli({"scan", "Demo Tools", "off", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Scan Demo Tools for updates: off\n");
  r = Cli({"list", "--offline"});
  EXPECT_TRUE(Has(r.out, "No new items to download.")) << r.out;
  r = Cli({"groups", Demo(), "--offline"});
  EXPECT_TRUE(Has(r.out, "scan: off\n  group Tools  scan: off\n")) << r.out;

  r = Cli({"scan", Demo(), "Tools", "on", "--offline", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "\"group\":\"Tools\",\"scan\":true")) << r.out;
  r = Cli({"list", "--offline"});
  EXPECT_TRUE(Has(r.out, "2 new items to download")) << r.out;

  EXPECT_EQ(Cli({"scan", "Demo Tools", "maybe"}).status, 2);
  EXPECT_EQ(Cli({"scan", "Demo Tools", "Nothing", "on", "--offline"}).status, 1);
  r = Cli({"scan", "Nobody", "on", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "No verified provider has the address or name 'Nobody'")) << r.err;
}

TEST_F(ConfigCommandsTest, SelectAddsAnItemToTheNextDownloadOnce) {
  RunResult r = Cli({"ignore", "tool.bin", "data.pak", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "Ignored tool.bin from Demo Tools until")) << r.out;
  EXPECT_TRUE(Has(Cli({"list", "--offline"}).out, "No new items to download."));

  r = Cli({"select", "driver.sys", "--no", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, kUnsuitable)) << r.err;
  EXPECT_EQ(r.out, "Not selected: driver.sys\n");

  r = Cli({"select", "tool.bin", "driver.sys", "--yes", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Selected tool.bin\nSelected driver.sys\n");
  r = Cli({"groups", "--offline", "--json"});
  EXPECT_TRUE(Has(r.out, "\"item\":\"tool.bin\",\"size\":10,\"size_text\":\"Size: 0.0K\""))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\"item\":\"tool.bin\"[^}]*\"selected\":true")))
      << r.out;

  r = Cli({"unselect", "driver.sys", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Unselected driver.sys from Demo Tools\n");

  r = Cli({"download", "--offline"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadWholeFile(DemoFolder() + "/1/tool.bin"), "tool bytes");
  EXPECT_FALSE(fs::exists(DemoFolder() + "/3/tool.bin"));
  EXPECT_FALSE(fs::exists(DemoFolder() + "/2/data.pak"));
  // Downloaded once: the next run has nothing to do.
  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Has(r.out, "No new items to download.")) << r.out;

  // An up-to-date item asks before it is selected again.
  r = Cli({"select", "tool.bin", "--no", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err,
                  "The Item: tool.bin appears to be up to date.\n Do you really want to "
                  "download it?"))
      << r.err;
}

TEST_F(ConfigCommandsTest, MoveTakesADownloadedFileAwayAndBack) {
  RunResult r = Cli({"download", "tool.bin", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string original = DemoFolder() + "/1/tool.bin";
  ASSERT_TRUE(fs::exists(original));
  fs::create_directories(Path("elsewhere"));

  r = Cli({"move", "tool.bin", Path("elsewhere"), "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Moved tool.bin to " + Path("elsewhere/tool.bin") + "\n");
  EXPECT_FALSE(fs::exists(original));
  EXPECT_EQ(ReadWholeFile(Path("elsewhere/tool.bin")), "tool bytes");
  r = Cli({"files", "--offline"});
  EXPECT_TRUE(Has(r.out, Path("elsewhere/tool.bin"))) << r.out;

  // Something is in the way: No keeps both files.
  std::ofstream(Path("elsewhere/taken.bin")) << "mine";
  r = Cli({"move", "tool.bin", Path("elsewhere/taken.bin"), "--no", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "File already exists at " + Path("elsewhere/taken.bin") + ". Overwrite?"))
      << r.err;
  EXPECT_EQ(ReadWholeFile(Path("elsewhere/taken.bin")), "mine");

  r = Cli({"move", "tool.bin", "--default", "--offline", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "\"custom_save_path\":false,\"file_moved\":true,\"result\":\"done\""))
      << r.out;
  EXPECT_EQ(ReadWholeFile(original), "tool bytes");
  EXPECT_FALSE(fs::exists(Path("elsewhere/tool.bin")));

  // An item never downloaded only takes the path.
  r = Cli({"move", "data.pak", Path("elsewhere/data.pak"), "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Will save data.pak to " + Path("elsewhere/data.pak") + "\n");

  EXPECT_EQ(Cli({"move", "tool.bin"}).status, 2);
  EXPECT_EQ(Cli({"move", "tool.bin", "x", "--default"}).status, 2);
  EXPECT_EQ(Cli({"list", "--default"}).status, 2);
}

TEST_F(ConfigCommandsTest, AnAmbiguousNameIsRefusedUntilTheProviderIsNamed) {
  ASSERT_EQ(Cli({"add", Other()}).status, 0);
  RunResult r = Cli({"download", "tool.bin", "--offline"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err,
                  "More than one item is named 'tool.bin'; name its provider with "
                  "--provider ADDRESS:\n  tool.bin from Demo Tools (" +
                      Demo() + "), group Tools\n  tool.bin from Other Tools (" + Other() +
                      "), group Misc\n"))
      << r.err;
  EXPECT_FALSE(fs::exists(DemoFolder() + "/1/tool.bin"));

  r = Cli({"download", "tool.bin", "--provider", Other(), "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(DemoFolder() + "/1/tool.bin"));
  EXPECT_TRUE(Has(r.out, "/9/tool.bin")) << r.out;

  // An unsuitable item named for download asks first.
  r = Cli({"download", "driver.sys", "--no", "--offline"});
  EXPECT_TRUE(Has(r.err, kUnsuitable)) << r.err;
  EXPECT_FALSE(fs::exists(DemoFolder() + "/3/tool.bin"));
  EXPECT_EQ(Cli({"ignore", "tool.bin", "--offline"}).status, 1);
  EXPECT_EQ(Cli({"groups", "--provider", Demo()}).status, 2);
}

TEST_F(ConfigCommandsTest, NewCommandsHaveTheirHelp) {
  for (const char* command : {"groups", "scan", "select", "unselect", "ignore", "move"}) {
    const RunResult r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_TRUE(Has(r.out, std::string("Usage: gantrell-cli ") + command)) << r.out;
  }
  // A usage too long for the first column has its summary on the next line.
  EXPECT_TRUE(Has(Cli({"help"}).out, "\n  move ITEM (PATH | --default) [--provider URL]\n" +
                                         std::string(32, ' ') +
                                         "save an item's file somewhere else\n"));
}

}  // namespace
}  // namespace gantrell::cli_test
