// Whole runs of gantrell-cli that end early or meet another instance: a
// logout's SIGTERM in the middle of a download run or a fetch, and a second
// run on the same data folder with another runtime folder.
#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

constexpr char kThreeItems[] =
    "name = Slow Tools\n"
    "[group \"Tools\"]\n"
    "[item \"a.bin\"]\nfile = a.bin\nnumber = 1\n"
    "[item \"b.bin\"]\nfile = b.bin\nnumber = 2\n"
    "[item \"c.bin\"]\nfile = c.bin\nnumber = 3\n";

class CliEndTest : public CliTest {
 protected:
  // The environment with another runtime folder, as a cron job or an ssh
  // session beside the desktop has.
  std::vector<std::string> OtherRuntime() {
    fs::create_directories(Path("run2"));
    fs::permissions(Path("run2"), fs::perms::owner_all, fs::perm_options::replace);
    std::vector<std::string> env = Environment();
    for (std::string& entry : env) {
      if (entry.rfind("XDG_RUNTIME_DIR=", 0) == 0)
        entry = "XDG_RUNTIME_DIR=" + Path("run2");
    }
    return env;
  }
  RunResult CliIn(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {testing::BuiltProgram("src/gantrell-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    return Child(argv, env, Path("other.out"), Path("other.err")).Wait();
  }
};

TEST_F(CliEndTest, SigtermInADownloadRunKeepsWhatWasFiledBeforeIt) {
  for (const char* name : {"a.bin", "b.bin", "c.bin"})
    std::ofstream(Path(std::string("files/") + name)) << "bytes of " << name;
  MakeKeyServer();
  MakeSite("slow/", kThreeItems);
  // The third item's files come only after 30 seconds.
  ServeSites("/slow/3.", 30.0);
  ASSERT_EQ(Cli({"add", key_server_ + "/slow/"}).status, 0);

  auto run = Start({"download", "--offline"});
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /slow/3.") != std::string::npos; }))
      << server_->Log();
  ::kill(run->pid(), SIGTERM);
  const RunResult r = run->Wait();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("gantrell-cli: Download cancelled.\n"), std::string::npos) << r.err;
  const std::string folder = DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_slow_";
  EXPECT_EQ(ReadWholeFile(folder + "/1/a.bin"), "bytes of a.bin");
  EXPECT_EQ(ReadWholeFile(folder + "/2/b.bin"), "bytes of b.bin");
  EXPECT_FALSE(fs::exists(folder + "/3/c.bin"));

  // The store kept both as taken: only the third is offered again.
  const RunResult list = Cli({"list", "--offline"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.find("a.bin"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("b.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("c.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("1 new item to download."), std::string::npos) << list.out;
}

TEST_F(CliEndTest, SighupDuringTheStartUpFetchCancelsItLikeCtrlC) {
  MakeKeyServer();
  ServeSites("/ngtlkey/", 30.0);
  auto run = Start({"check"});
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /ngtlkey/") != std::string::npos; }));
  const auto sent = std::chrono::steady_clock::now();
  ::kill(run->pid(), SIGHUP);
  const RunResult r = run->Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err,
            "Downloading Update Lists...\ngantrell-cli: Cancelled.\ngantrell-cli: Cancelled: "
            "nothing was changed.\n");
  EXPECT_FALSE(fs::exists(DataFolder() + "/provdata.dat"));
}

TEST_F(CliEndTest, TwoRuntimeFoldersOnOneStoreMakeOneInstance) {
  MakeKeyServer();
  MakeSite("slow/", "name = Slow Provider\n");
  MakeSite("quick/", "name = Quick Provider\n");
  ServeSites("/slow/", 1.0);

  // --yes answers the subscribe question for the address handed over.
  auto first = Start({"add", key_server_ + "/slow/", "--yes"}, "first");
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /slow/") != std::string::npos; }))
      << server_->Log();
  const std::vector<std::string> other = OtherRuntime();
  RunResult r = CliIn(other, {"list", "--offline"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("gantrell-cli: another Gantrell instance is running; try again"),
            std::string::npos)
      << r.err;
  r = CliIn(other, {"add", key_server_ + "/quick/"});
  EXPECT_EQ(r.status, 3) << r.err;

  // The running instance was told, though it listens in its own runtime
  // folder, and registered the address handed over.
  r = first->Wait();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("New Provider successfully set up: Slow Provider\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("New Provider successfully set up: Quick Provider\n"), std::string::npos)
      << r.err;
  const RunResult providers = CliIn(other, {"providers", "--offline"});
  EXPECT_EQ(providers.status, 0) << providers.err;
  EXPECT_NE(providers.out.find("/slow/"), std::string::npos) << providers.out;
  EXPECT_NE(providers.out.find("/quick/"), std::string::npos) << providers.out;
}

}  // namespace
}  // namespace gantrell::cli_test
