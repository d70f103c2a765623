// Start-ups of gantrell-cli: a second instance, the settings that decide
// whether and where it runs, and its command line.
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

class CliStartupTest : public CliTest {
 protected:
  void WriteRegistry(const std::string& file, const std::string& body) {
    std::ofstream(Path("registry/" + file)) << "Windows Registry Editor Version 5.00\n\n" << body;
  }
  std::string UserSettings() const { return ReadWholeFile(Path("registry/user.reg")); }
};

TEST_F(CliStartupTest, SecondInstanceHandsItsAddressToTheRunningOne) {
  std::ofstream(Path("files/a.txt")) << "a";
  MakeKeyServer();
  MakeSite("slow/",
           "name = Slow Provider\n[group \"G\"]\n[item \"a.txt\"]\nfile = a.txt\nnumber = 1\n");
  MakeSite("quick/", "name = Quick Provider\n");
  ServeSites("/slow/", 1.0);

  // The first instance registers a provider whose server is slow, so its
  // command is still running when the second one starts. The address
  // handed to it came from elsewhere, so it is asked about: --yes answers.
  auto first = Start({"add", "--json", "--yes", key_server_ + "/slow/"}, "first");
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /slow/") != std::string::npos; }))
      << server_->Log();
  const RunResult second = Cli({"add", key_server_ + "/quick/"});
  EXPECT_EQ(second.status, 3) << second.err;
  EXPECT_NE(second.err.find("gantrell-cli: another Gantrell instance is running: the addresses "
                            "were handed to it, and it will show whether they were set up"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(second.out, "");

  const RunResult r = first->Wait();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("New Provider successfully set up: Slow Provider\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("New Provider successfully set up: Quick Provider\n"), std::string::npos)
      << r.err;
  EXPECT_NE(
      r.out.find("\"registrations\":[{\"address\":\"" + key_server_ +
                 "/slow/\",\"result\":\"added\",\"name\":\"Slow Provider\"},{\"address\":\"" +
                 key_server_ + "/quick/\",\"result\":\"added\",\"name\":\"Quick Provider\"}]"),
      std::string::npos)
      << r.out;

  // Both were stored, and nothing waits in "newprov".
  const RunResult providers = Cli({"providers", "--offline"});
  EXPECT_NE(providers.out.find("/slow/"), std::string::npos) << providers.out;
  EXPECT_NE(providers.out.find("/quick/"), std::string::npos) << providers.out;
  EXPECT_NE(UserSettings().find("\"newprov\"=\"\""), std::string::npos) << UserSettings();
}

TEST_F(CliStartupTest, TwoInstancesHandingOverAtOnceAreBothRegistered) {
  MakeKeyServer();
  MakeSite("slow/", "name = Slow Provider\n");
  MakeSite("one/", "name = First Quick\n");
  MakeSite("two/", "name = Second Quick\n");
  ServeSites("/slow/", 1.0);

  auto first = Start({"add", "--yes", key_server_ + "/slow/"}, "first");
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /slow/") != std::string::npos; }));
  auto one = Start({"add", key_server_ + "/one/"}, "one");
  auto two = Start({"add", key_server_ + "/two/"}, "two");
  EXPECT_EQ(one->Wait().status, 3);
  EXPECT_EQ(two->Wait().status, 3);

  const RunResult r = first->Wait();
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* name : {"Slow Provider", "First Quick", "Second Quick"}) {
    EXPECT_NE(r.err.find(std::string("New Provider successfully set up: ") + name + "\n"),
              std::string::npos)
        << r.err;
  }
  EXPECT_NE(UserSettings().find("\"newprov\"=\"\""), std::string::npos) << UserSettings();
}

// Addresses waiting in "newprov" (a file opened, another instance's "add")
// are asked about: without a terminal and without --yes or --no they wait
// for a start that can ask, --no declines them for good, --yes subscribes.
TEST_F(CliStartupTest, HandedOverAddressesAreAskedAbout) {
  MakeKeyServer();
  MakeSite("offered/", "name = Security Updates\n");
  ServeSites();
  const std::string address = key_server_ + "/offered/";
  const auto hand_over = [&] {
    WriteRegistry("user.reg",
                  "[HKEY_CURRENT_USER\\Software\\Gantrell\\gantrell\\mainpath]\n"
                  "\"newprov\"=\"" + address + "\"\n");
  };
  hand_over();
  const RunResult kept = Cli({"providers", "--json"});
  EXPECT_NE(kept.err.find("Subscribe to updates from " + address + "?\n"), std::string::npos)
      << kept.err;
  EXPECT_NE(kept.out.find("{\"address\":\"" + address +
                          "\",\"result\":\"kept for a later start\",\"name\":\"\"}"),
            std::string::npos)
      << kept.out;
  EXPECT_EQ(kept.out.find("Security Updates"), std::string::npos) << kept.out;
  EXPECT_NE(UserSettings().find("\"newprov\"=\"" + address + "\""), std::string::npos)
      << UserSettings();
  EXPECT_EQ(server_->Log().find("/offered/control.txt"), std::string::npos) << server_->Log();

  const RunResult declined = Cli({"providers", "--no"});
  EXPECT_NE(declined.err.find("Answered No (--no)."), std::string::npos) << declined.err;
  EXPECT_NE(UserSettings().find("\"newprov\"=\"\""), std::string::npos) << UserSettings();
  EXPECT_EQ(server_->Log().find("/offered/control.txt"), std::string::npos) << server_->Log();
  const RunResult again = Cli({"providers", "--offline"});
  EXPECT_EQ(again.err.find("Subscribe"), std::string::npos) << again.err;

  hand_over();
  const RunResult added = Cli({"providers", "--yes"});
  EXPECT_NE(added.err.find("New Provider successfully set up: Security Updates"),
            std::string::npos)
      << added.err;
  EXPECT_NE(added.out.find(address), std::string::npos) << added.out;
}

TEST_F(CliStartupTest, CommandsOtherThanAddDoNotRunBesideAnotherInstance) {
  MakeKeyServer();
  MakeSite("slow/", "name = Slow Provider\n");
  ServeSites("/slow/", 1.0);
  auto first = Start({"add", key_server_ + "/slow/"}, "first");
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /slow/") != std::string::npos; }));
  const RunResult r = Cli({"list", "--offline", "--json"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("gantrell-cli: another Gantrell instance is running; try again"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("\"startup\":\"handed-off\""), std::string::npos) << r.out;
  EXPECT_EQ(first->Wait().status, 0);
}

TEST_F(CliStartupTest, MultiuserNoStopsANewUserWithoutTouchingAnything) {
  WriteRegistry(
      "machine.reg",
      "[HKEY_LOCAL_MACHINE\\Software\\Gantrell\\gantrell\\mainpath]\n\"Multiuser\"=\"No\"\n");
  const RunResult r = Cli({"list", "--offline", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Not permitted for this user\n");
  EXPECT_EQ(
      r.out,
      "{\"command\":\"list\",\"startup\":\"failed\",\"registrations\":[],\"messages\":[{\"text\":"
      "\"Not permitted for this user\",\"icon\":\"error\",\"own\":false}],\"exit_status\":1}\n");
  EXPECT_FALSE(fs::exists(DataFolder()));
  EXPECT_EQ(UserSettings(), "");

  // A folder of one's own choosing does not get round the policy.
  const RunResult chosen = Cli({"list", "--offline", "--data-dir", Path("chosen")});
  EXPECT_EQ(chosen.status, 1);
  EXPECT_EQ(chosen.err, "Not permitted for this user\n");
  EXPECT_FALSE(fs::exists(Path("chosen")));
  EXPECT_EQ(UserSettings(), "");
}

TEST_F(CliStartupTest, StoredDefaultWithoutItsStoreFallsBackToTheUsualFolder) {
  WriteRegistry("user.reg",
                "[HKEY_CURRENT_USER\\Software\\Gantrell\\gantrell\\mainpath]\n"
                "\"default\"=\"" +
                    Path("gone") + "\"\n\"dlpath\"=\"" + Path("home") + "\"\n");
  const RunResult r = Cli({"providers", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(DataFolder() + "/provdata.dat"));
  EXPECT_FALSE(fs::exists(Path("gone")));
  EXPECT_NE(UserSettings().find("\"default\"=\"" + DataFolder() + "\""), std::string::npos)
      << UserSettings();

  // --data-dir uses the folder given and leaves the setting alone.
  const RunResult other = Cli({"providers", "--offline", "--data-dir", Path("elsewhere")});
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_TRUE(fs::exists(Path("elsewhere/provdata.dat")));
  EXPECT_NE(UserSettings().find("\"default\"=\"" + DataFolder() + "\""), std::string::npos);
}

TEST_F(CliStartupTest, BadUsageEndsWithStatusTwoAndTouchesNothing) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"chek"}, "unknown command 'chek' (did you mean 'check'?)"},
      {{"--json"}, "no command given with the options"},
      {{"list", "-yn"}, "--yes and --no exclude each other"},
      {{"list", "--timeout", "soon"},
       "--timeout needs a whole number of seconds (1 or more), not 'soon'"},
      {{"list", "--colour"}, "unknown option '--colour'"},
      {{"list", "extra"}, "list: unexpected argument 'extra'"},
      {{"add"}, "add: missing URL..."},
      {{"remove"}, "remove: missing URL"},
      {{"remove", "a", "b"}, "remove: unexpected argument 'b'"},
      {{"list", "--all"}, "--all belongs to 'download', not to 'list'"},
      {{"download", "--all", "x"}, "download: give item names or --all, not both"},
      {{"list", "--yes", "--no"}, "--yes and --no exclude each other"},
      {{"list", "--data-dir"}, "--data-dir needs a folder"},
      {{"help", "nothing"}, "help: unknown command 'nothing'"},
      {{"list", "--timeout=soon"},
       "--timeout needs a whole number of seconds (1 or more), not 'soon'"},
      {{"list", "--data-dir="}, "--data-dir needs a folder"},
      {{"list", "--json=no"}, "--json takes no value"},
      {{"list", "-y", "--no"}, "--yes and --no exclude each other"},
      // After "--" every word is an operand, even one that looks like an
      // option.
      {{"list", "--", "--json"}, "list: unexpected argument '--json'"},
  };
  for (const auto& c : cases) {
    const RunResult r = Cli(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.error;
    // The error points at the help of the command it belongs to.
    const bool general = c.args[0][0] == '-' || c.args[0] == "help" ||
                         c.error.find("command '") != std::string::npos;
    EXPECT_EQ(r.err, "gantrell-cli: " + c.error + "\nTry 'gantrell-cli " +
                         (general ? std::string() : c.args[0] + " ") + "--help'.\n")
        << c.error;
    EXPECT_EQ(r.out, c.args[0] == "--json" ? r.out : "") << c.error;
  }
  // With --json the error is a JSON document too.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--json"}, {"list", "--json", "--colour"}, {"chek", "--json"}}) {
    const RunResult r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("{\"command\":"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"error\":\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",\"exit_status\":2}\n"), std::string::npos) << r.out;
  }
  // No arguments at all: a short usage, not the whole help.
  const RunResult bare = Cli({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.out, "");
  EXPECT_EQ(bare.err,
            "Usage: gantrell-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
            "Try 'gantrell-cli --help' for the commands.\n");
  EXPECT_FALSE(fs::exists(DataFolder()));
  EXPECT_FALSE(fs::exists(Path("registry/user.reg")));
}

TEST_F(CliStartupTest, RefusedAddressesAreNamedAndTheRestRegistered) {
  const struct {
    std::string address;
    std::string why;
  } cases[] = {
      {"example.org/", "it does not start with http:// or https://"},
      {"ftp://example.org/", "it does not start with http:// or https://"},
      {"http://example.org", "it names no folder (add a closing \"/\")"},
      {"http://example.org/updates", "it does not end with \"/\""},
      {"http:///updates/", "it names no server"},
      {"http://example.org:0/", "its port is not a number from 1 to 65535"},
      {"http://example.org:99999/", "its port is not a number from 1 to 65535"},
      {"http://example.org:8a/", "its port is not a number from 1 to 65535"},
      {"http://user@example.org/", "it holds a user name"},
      {"http://a b/", "it holds a blank, a quote or a control character"},
      {"http://example.org/?q=1/", "it holds a query or a fragment"},
      // One more character than the store keeps.
      {"http://example.org/" + std::string(237, 'a') + "/", "it is longer than 256 characters"},
  };
  for (const auto& c : cases) {
    const RunResult r = Cli({"add", c.address, "http://"});
    EXPECT_EQ(r.status, 2) << c.address;
    EXPECT_EQ(
        r.err,
        "gantrell-cli add: refused '" + c.address + "': " + c.why +
            "\ngantrell-cli add: refused 'http://': it names no folder (add a closing \"/\")\n"
            "gantrell-cli: add: give absolute http:// or https:// folder addresses\n"
            "Try 'gantrell-cli add --help'.\n")
        << c.address;
  }
  EXPECT_FALSE(fs::exists(DataFolder()));

  // A sound address that nothing answers fails with the reason and a hint,
  // once, on standard error.
  const std::string sound = "https://127.0.0.1:9/updates/v2/";
  const RunResult r = Cli({"add", "--offline", sound});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Downloading Update Lists... (registering " + sound + ")\nAddress " + sound +
                       " was not set up successfully.\ngantrell-cli: cannot add " + sound + ": " +
                       sound +
                       "public.dat: the connection was refused; is the server running, and is "
                       "the port right?\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(CliStartupTest, CtrlCDuringTheStartUpFetchCancelsWithoutWriting) {
  MakeKeyServer();
  ServeSites("/ngtlkey/", 30.0);
  auto run = Start({"check", "--json"});
  ASSERT_TRUE(WaitFor([&] { return server_->Log().find("SLOW /ngtlkey/") != std::string::npos; }));
  ::kill(run->pid(), SIGINT);
  const RunResult r = run->Wait();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(
      r.err,
      "Downloading Update Lists...\ngantrell-cli: Cancelled.\ngantrell-cli: Cancelled: nothing "
      "was changed.\n");
  EXPECT_NE(r.out.find("\"startup\":\"cancelled\""), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(DataFolder() + "/provdata.dat"));
}

TEST_F(CliStartupTest, OptionsTakeTheirValueEitherWayAndStandAnywhere) {
  const RunResult r =
      Cli({"--offline", "providers", "--data-dir=" + Path("joined"), "--timeout=5", "-yy"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("joined/provdata.dat")));
  // "--" ends the options: what follows is an operand of the command.
  const RunResult help = Cli({"help", "--", "check"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out, Cli({"check", "--help"}).out);
}

TEST_F(CliStartupTest, JsonStaysValidWhateverBytesTheArgumentsHold) {
  // A byte that is not UTF-8, a quote, a backslash and control characters
  // in a mistyped command and option come back in the error document.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--json", "chek\xff\"\\\x01\x7f"},
        {"list", "--json", "--col\xc3our\n"}}) {
    const RunResult r = Cli(args);
    EXPECT_EQ(r.status, 2);
    nlohmann::json document;
    ASSERT_NO_THROW(document = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(document["exit_status"], 2);
    const std::string error = document["error"];
    const std::string word = args[0] == "--json" ? args[1] : args[2];
    const std::size_t bad = word.find_first_of("\xff\xc3");
    const std::string shown = word.substr(0, bad) + "\xef\xbf\xbd" + word.substr(bad + 1);
    EXPECT_NE(error.find("'" + shown + "'"), std::string::npos) << error;
  }
}

TEST_F(CliStartupTest, EveryCommandHasHelp) {
  for (const char* command : {"check", "list", "add", "remove", "providers", "files", "download"}) {
    const RunResult r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("Usage: gantrell-cli ") + command, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Exit status, the same for every command:"), std::string::npos) << command;
    EXPECT_NE(r.out.find("  3  another instance is running"), std::string::npos) << command;
    EXPECT_EQ(Cli({"help", command}).out, r.out) << command;
  }
  EXPECT_EQ(Cli({"help"}).out, Cli({"--help"}).out);
  // Every option is described, with the value it takes.
  const std::string general = Cli({"--help"}).out;
  for (const char* option : {"--data-dir DIR", "--offline", "--force", "--json", "-y,--yes",
                             "-n,--no", "--timeout SECONDS", "-h,--help", "--version", "--all",
                             "--just-downloaded", "--provider URL", "--default"}) {
    EXPECT_NE(general.find("\n  " + std::string(option) + " "), std::string::npos) << option;
  }
  // Every help fits a terminal of 80 columns, descriptions wrapped under
  // their column.
  for (const char* command :
       {"help", "check", "list", "add", "remove", "providers", "files", "download", "groups",
        "scan", "select", "unselect", "ignore", "move"}) {
    const std::string text = Cli({command, "--help"}).out;
    EXPECT_FALSE(text.empty()) << command;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      EXPECT_LE(line.size(), 80u) << command << ": " << line;
  }
  EXPECT_NE(
      general.find("  --timeout SECONDS             give up on a server that does not answer for\n"
                   "                                SECONDS (default 60; 30 to connect)\n"),
      std::string::npos)
      << general;
  EXPECT_FALSE(fs::exists(DataFolder()));
}

}  // namespace
}  // namespace gantrell::cli_test
