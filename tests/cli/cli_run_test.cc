// Whole runs of gantrell-cli against sites served on 127.0.0.1.
#include <regex>

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
    "[item \"driver.sys\"]\n"
    "file = tool.bin\n"
    "number = 3\n"
    "condition = REG NME \"hardware\" KRT 1 PTH \"Software\\GantrellTest\\Missing\" CPT 0 END\n";

class CliRunTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(Path("files/tool.bin")) << "tool bytes";
    std::ofstream(Path("files/data.pak")) << std::string(5000, 'd');
    MakeKeyServer();
    MakeSite("demo", kDemoManifest);
    ServeSites();
  }
  std::string Demo() const { return key_server_ + "/demo/"; }
};

// Sets the next check of the four authority entries in the store to a date
// ten days ahead. They publish no update list that would schedule them, so
// they are otherwise due at every start.
std::string ScheduleAuthorityEntries(const std::string& store) {
  const std::time_t later = std::time(nullptr) + 10 * 86400;
  std::tm date;
  localtime_r(&later, &date);
  const std::string next = "TIME " + std::to_string(date.tm_year + 1900) + " " +
                           std::to_string(date.tm_mon + 1) + " " + std::to_string(date.tm_mday) +
                           " ";
  const std::regex record(
      R"((V3lsave "[^"]*" "[^"]*ngtlkey/(master|signone|signtwo|signthree)/" (-?\d+ ){3}(TIME \d+ \d+ \d+ ){2})TIME \d+ \d+ \d+ )");
  return std::regex_replace(store, record, "$1" + next);
}

TEST_F(CliRunTest, FirstRunFetchesTheBuiltInEntriesAndALaterRunWithNothingDueStaysOffline) {
  RunResult r = Cli({"check"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("Downloading Update Lists..."), std::string::npos) << r.err;
  for (const char* entry : {"master", "signone", "signtwo", "signthree"}) {
    EXPECT_NE(server_->Log().find(std::string("GET /ngtlkey/") + entry + "/public.dat"),
              std::string::npos)
        << entry;
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex(std::string("/ngtlkey/") + entry + "/ +\\(authority entry " + entry +
                          "\\) +yes +- +key checked\n")))
        << entry << "\n"
        << r.out;
  }
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("/ngtlkey/gtl/ +Gantrell +yes +0 +update list verified\n")))
      << r.out;
  EXPECT_NE(r.out.find("No new items to download."), std::string::npos) << r.out;

  const std::string scheduled = ScheduleAuthorityEntries(Store());
  ASSERT_NE(scheduled, Store());
  WriteStore(scheduled);
  const int requests = server_->Requests();
  EXPECT_GE(requests, 6);
  r = Cli({"list", "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(server_->Requests(), requests) << server_->Log();
  EXPECT_EQ(r.out,
            "{\"command\":\"list\",\"items\":[],\"count_text\":\"No new items to download.\","
            "\"not_fetched\":[],\"startup\":\"ended\",\"registrations\":[],\"messages\":[],\"exit_"
            "status\":0}\n");
}

TEST_F(CliRunTest, AddedProviderIsListedDownloadedAndRevokedByTheMaster) {
  RunResult r = Cli({"add", Demo()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("New Provider successfully set up: Demo Tools\n"), std::string::npos)
      << r.err;

  // The driver's condition does not hold here, so two items are new.
  r = Cli({"list", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("tool.bin  Demo Tools  10 B  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("data.pak  Demo Tools  4.0K  "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("driver.sys"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 new items to download\n"), std::string::npos) << r.out;

  r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  // Not a terminal: a line as each item starts and as it ends, however
  // quickly it ends.
  const std::size_t tool_lines =
      r.err.find("Downloading tool.bin (10 B)\nFinished tool.bin (10 B in ");
  const std::size_t data_lines =
      r.err.find("Downloading data.pak (4.0K)\nFinished data.pak (4.0K in ");
  EXPECT_NE(tool_lines, std::string::npos) << r.err;
  EXPECT_NE(data_lines, std::string::npos) << r.err;
  EXPECT_LT(tool_lines, data_lines) << r.err;
  const std::string folder = DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  EXPECT_EQ(ReadWholeFile(folder + "/1/tool.bin"), "tool bytes");
  EXPECT_EQ(ReadWholeFile(folder + "/2/data.pak"), std::string(5000, 'd'));
  EXPECT_NE(
      r.out.find("Files written:\n  " + folder + "/1/tool.bin\n  " + folder + "/2/data.pak\n"),
      std::string::npos)
      << r.out;
  r = Cli({"list", "--offline"});
  EXPECT_NE(r.out.find("No new items to download."), std::string::npos) << r.out;
  r = Cli({"files", "--offline"});
  EXPECT_NE(r.out.find(folder + "/2/data.pak"), std::string::npos) << r.out;

  // The master entry's revocation list is its items; it publishes no
  // update list, so the list is put into the store.
  std::string store = Store();
  const std::size_t second = store.find("V3lsave", 1);
  ASSERT_NE(second, std::string::npos);
  store.insert(second, "GRP \"revoked\" \"\" 1 END FILE \"" + Demo() +
                           "\" \"\" \"\" \"\" \"1 1 2000\" 0 0 1 -1 -1 1 END ");
  WriteStore(store);
  r = Cli({"providers", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Provider Demo Toolsremoved by Gantrell.\n");
  EXPECT_EQ(r.out.find("/demo/"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(folder + "/1/tool.bin"));
  EXPECT_FALSE(fs::exists(folder + "/2"));
  EXPECT_EQ(Store().find("V3lsave \"Demo Tools\""), std::string::npos) << Store();
}

TEST_F(CliRunTest, FirstRunWithAChosenDataFolderStoresItsSettingsAndDownloads) {
  const std::string chosen = Path("chosen");
  RunResult r = Cli({"add", "--data-dir", chosen, Demo()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string settings = ReadWholeFile(Path("registry/user.reg"));
  EXPECT_NE(settings.find("\"default\"=\"" + chosen + "\""), std::string::npos) << settings;
  EXPECT_NE(settings.find("\"dlpath\"=\"" + chosen + "\""), std::string::npos) << settings;

  r = Cli({"download", "--offline", "--data-dir", chosen});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err.find("Unable to write"), std::string::npos) << r.err;
  const std::string folder = chosen + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  EXPECT_EQ(ReadWholeFile(folder + "/1/tool.bin"), "tool bytes");
  EXPECT_FALSE(fs::exists(DataFolder()));
}

TEST_F(CliRunTest, FailedItemsAndRefusedAddressesEndWithStatusOne) {
  ASSERT_EQ(Cli({"add", Demo()}).status, 0);
  // A file that no longer matches its signature is deleted, not filed.
  std::ofstream(Path("www/demo/2.dat")) << "tampered";
  RunResult r = Cli({"download", "--offline", "--json"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  // The report names the item and its address after the core's text, and
  // is also among the JSON messages.
  const std::string report = "Download corrupt. Deleting file. (data.pak: " + Demo() + "2.dat)";
  EXPECT_NE(r.err.find("Downloading data.pak (4.0K)\n" + report + "\nFailed data.pak\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("{\"text\":\"" + report + "\",\"icon\":\"error\""), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"not_downloaded\":[{\"item\":\"data.pak\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"exit_status\":1}"), std::string::npos) << r.out;

  // A misspelt item name downloads nothing.
  r = Cli({"download", "--offline", "tool.bin", "nosuch.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No provider offers an item named 'nosuch.bin'"), std::string::npos)
      << r.err;

  // A malformed address beside a good one is bad usage: nothing is done.
  r = Cli({"add", "--offline", "ftp://example.org/", Demo()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("refused 'ftp://example.org/'"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  // A known one is said once, on standard error.
  r = Cli({"add", "--offline", Demo()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "gantrell-cli: " + Demo() + " is already registered (Demo Tools).\n");
}

TEST_F(CliRunTest, RemoveAsksAndDeletesTheProviderWithItsFiles) {
  ASSERT_EQ(Cli({"add", Demo()}).status, 0);
  ASSERT_EQ(Cli({"download", "--offline", "tool.bin"}).status, 0);
  const std::string file =
      DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_/1/tool.bin";
  ASSERT_TRUE(fs::exists(file));

  // No terminal and no --yes: the answer is No and nothing changes.
  RunResult r = Cli({"remove", "--offline", Demo()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find("This will permenantly remove the provider \n\"Demo Tools\" from your update "
                 "list. \n Do you really want to remove this provider?\ngantrell-cli: No terminal"),
      std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(file));

  r = Cli({"remove", "--offline", key_server_ + "/ngtlkey/gtl/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "This provider cannot be deleted.\n");  // the core's message, unprefixed

  r = Cli({"remove", "--offline", "--yes", Demo()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Removed Demo Tools (" + Demo() + ") and 1 downloaded file.\n");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Cli({"providers", "--offline"}).out.find("/demo/"), std::string::npos);
}

}  // namespace
}  // namespace gantrell::cli_test
