// "gantrell-cli files": listing, opening, copying and deleting the files a
// download left, against a site served on 127.0.0.1.
#include <sys/stat.h>

#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

constexpr char kManifest[] =
    "name = Demo Tools\n"
    "[group \"Tools\"]\n"
    "[item \"setup.exe\"]\n"
    "file = setup.exe\n"
    "number = 1\n"
    "description = The installer\n"
    "[item \"data.pak\"]\n"
    "file = data.pak\n"
    "number = 2\n";

class CliFilesTest : public CliTest {
 protected:
  void SetUp() override {
    std::ofstream(Path("files/setup.exe")) << "setup bytes";
    std::ofstream(Path("files/data.pak")) << std::string(5000, 'd');
    MakeKeyServer();
    MakeSite("demo", kManifest);
    ServeSites();
    ASSERT_EQ(Cli({"add", key_server_ + "/demo/"}).status, 0);
    const RunResult r = Cli({"download", "--offline"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    folder_ = DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_demo_";
  }

  // A run with a recording xdg-open first on PATH.
  RunResult CliWithLauncher(const std::vector<std::string>& args) {
    fs::create_directories(Path("bin"));
    const std::string launcher = Path("bin/xdg-open");
    std::ofstream(launcher) << "#!/bin/sh\n{ pwd; echo \"$1\"; } > \"" << Path("opened.tmp")
                            << "\"\nmv \"" << Path("opened.tmp") << "\" \"" << Path("opened")
                            << "\"\necho noise\n";
    ::chmod(launcher.c_str(), 0755);
    std::vector<std::string> env = Environment();
    env[0] = "PATH=" + Path("bin") + ":/usr/bin:/bin";
    std::vector<std::string> argv = {testing::BuiltProgram("src/gantrell-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    return Child(argv, env, Path("cli.out"), Path("cli.err")).Wait();
  }

  std::string folder_;
};

TEST_F(CliFilesTest, ListsEveryProviderOneProviderAndThisRun) {
  RunResult r = Cli({"files", "--offline"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ITEM       PROVIDER    PATH"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("setup.exe  Demo Tools  " + folder_ + "/1/setup.exe  11 B  yes\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("data.pak   Demo Tools  " + folder_ + "/2/data.pak   4.0K  yes\n"),
            std::string::npos)
      << r.out;

  EXPECT_EQ(Cli({"files", "--offline", "Demo Tools"}).out, r.out);
  EXPECT_EQ(Cli({"files", "--offline", key_server_ + "/demo/"}).out, r.out);
  r = Cli({"files", "--offline", "Gantrell"});
  EXPECT_EQ(r.out, "No downloaded files.\n");
  r = Cli({"files", "--offline", "Nobody"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "gantrell-cli: No provider named 'Nobody' ('gantrell-cli providers' lists them).\n");

  // A run of its own downloaded nothing.
  r = Cli({"files", "--offline", "--just-downloaded", "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"source\":\"Just Downloaded\",\"files\":[]"), std::string::npos) << r.out;

  r = Cli({"files", "--offline", "--json", "Demo Tools"});
  EXPECT_NE(r.out.find("{\"item\":\"setup.exe\",\"group\":\"Tools\",\"provider\":\"Demo Tools\","
                       "\"provider_address\":\"" +
                       key_server_ + "/demo/\",\"entry\":\"setup.exe\",\"path\":\"" + folder_ +
                       "/1/setup.exe\",\"exists\":true,\"size\":11,\"size_text\":\"Size: "
                       "0.0K\",\"description\":\"The installer\",\"suitable\":true,"
                       "\"suitability\":\"\"}"),
            std::string::npos)
      << r.out;
}

TEST_F(CliFilesTest, OpenHandsTheFileToTheLauncherInItsFolder) {
  RunResult r = CliWithLauncher({"files", "--offline", "--json", "open", "setup.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The launcher's own output stays out of the document.
  EXPECT_EQ(r.out.find("noise"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"action\":\"open\",\"item\":\"setup.exe\",\"provider\":\"Demo "
                       "Tools\",\"opened\":\"" +
                       folder_ + "/1/setup.exe\""),
            std::string::npos)
      << r.out;
  ASSERT_TRUE(WaitFor([&] { return fs::exists(Path("opened")); }));
  EXPECT_EQ(ReadWholeFile(Path("opened")), folder_ + "/1\n" + folder_ + "/1/setup.exe\n");

  // Without a launcher the failure is said (a PATH of an empty folder: the
  // machine's own xdg-open must not answer).
  fs::create_directories(Path("no-launcher"));
  std::vector<std::string> env = Environment();
  env[0] = "PATH=" + Path("no-launcher");
  r = Child({testing::BuiltProgram("src/gantrell-cli"), "files", "--offline", "open",
             "setup.exe from Demo Tools"},
            env, Path("cli.out"), Path("cli.err"))
          .Wait();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot open 'setup.exe from Demo Tools': cannot find xdg-open"),
            std::string::npos)
      << r.err;
}

TEST_F(CliFilesTest, CopyToAFileOrIntoAFolder) {
  RunResult r = Cli({"files", "--offline", "copy", "data.pak", Path("copy.pak")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Copied " + folder_ + "/2/data.pak to " + Path("copy.pak") + "\n");
  EXPECT_EQ(ReadWholeFile(Path("copy.pak")), std::string(5000, 'd'));

  fs::create_directories(Path("into"));
  r = Cli({"files", "--offline", "copy", "setup.exe", Path("into")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(Path("into/setup.exe")), "setup bytes");

  r = Cli({"files", "--offline", "copy", "setup.exe", Path("nowhere/x")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot copy 'setup.exe from Demo Tools': Cannot write " +
                       Path("nowhere/x") + ": No such file or directory"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Path("nowhere")));
}

// Delete asks unless --yes, and the file goes to the user's trash, from
// where a file manager can bring it back; the run says where it went.
TEST_F(CliFilesTest, DeleteAsksAndMovesTheFileToTheTrash) {
  const std::string path = folder_ + "/1/setup.exe";
  RunResult r = Cli({"files", "--offline", "delete", "setup.exe"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Move " + path +
                       " to the trash?\ngantrell-cli: No terminal to ask on: answered No (give "
                       "--yes to answer Yes).\ngantrell-cli: Nothing was deleted.\n");
  EXPECT_EQ(ReadWholeFile(path), "setup bytes");

  r = Cli({"files", "--offline", "--yes", "delete", "setup.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Moved " + path + " to the trash (" + Path("data/Trash") + ")\n");
  EXPECT_FALSE(fs::exists(folder_ + "/1"));
  EXPECT_TRUE(fs::exists(folder_ + "/2/data.pak"));
  EXPECT_EQ(ReadWholeFile(Path("data/Trash/files/setup.exe")), "setup bytes");
  EXPECT_NE(ReadWholeFile(Path("data/Trash/info/setup.exe.trashinfo")).find("Path=" + path),
            std::string::npos);

  // The store remembers: the next run lists only the other file.
  r = Cli({"files", "--offline"});
  EXPECT_EQ(r.out.find("setup.exe"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("data.pak"), std::string::npos) << r.out;

  r = Cli({"files", "--offline", "delete", "setup.exe"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "gantrell-cli: No downloaded file named 'setup.exe' ('gantrell-cli files' lists "
            "them).\n");
}

// A copy onto an existing file of the user's asks first; No keeps it.
TEST_F(CliFilesTest, CopyOverAnExistingFileAsks) {
  std::ofstream(Path("mine.pak")) << "mine";
  RunResult r = Cli({"files", "--offline", "--no", "copy", "data.pak", Path("mine.pak")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File already exists at " + Path("mine.pak") + ". Overwrite?"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadWholeFile(Path("mine.pak")), "mine");
  r = Cli({"files", "--offline", "--yes", "copy", "data.pak", Path("mine.pak")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(Path("mine.pak")), std::string(5000, 'd'));
}

TEST_F(CliFilesTest, MisusedOperandsAreUsageErrors) {
  // Each error points at the help of the command it belongs to.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"files", "open"}, "files open: missing ITEM"},
      {{"files", "copy", "x"}, "files copy: missing DEST"},
      {{"files", "delete", "x", "y"}, "files delete: unexpected argument 'y'"},
      {{"files", "Demo Tools", "x"}, "files: unexpected argument 'x'"},
      {{"files", "Demo Tools", "--just-downloaded"},
       "files: give a provider or --just-downloaded, not both"},
      {{"list", "--just-downloaded"}, "--just-downloaded belongs to 'files', not to 'list'"},
  };
  for (const auto& [args, message] : cases) {
    const RunResult r = Cli(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err, "gantrell-cli: " + message + "\nTry 'gantrell-cli " + args[0] + " --help'.\n");
  }
}

}  // namespace
}  // namespace gantrell::cli_test
