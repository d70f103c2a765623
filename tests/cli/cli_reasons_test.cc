// Whole runs against servers that answer 404, refuse, hang or trickle: each
// command says which providers could not be fetched and why, and ends with
// the one exit status of every command.
#include <fstream>

#include "cli/cli_fixture.h"

namespace gantrell::cli_test {
namespace {

// A python3 server on 127.0.0.1: "hang" accepts connections and never
// answers; "trickle" answers 200 and sends one byte a second.
class OddServer {
 public:
  OddServer(const std::string& kind, const std::string& work) {
    const std::string script = work + "/" + kind + ".py";
    std::ofstream(script) << kScript;
    const std::string out = work + "/" + kind + ".out";
    child_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/python3", "-u", script, kind},
        std::vector<std::string>{"PATH=/usr/bin:/bin"}, out, work + "/" + kind + ".err");
    EXPECT_TRUE(WaitFor([&] {
      const std::string text = ReadWholeFile(out);
      if (text.find("port ") == std::string::npos)
        return false;
      port_ = std::stoi(text.substr(text.find("port ") + 5));
      return true;
    }));
  }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  static constexpr const char* kScript =
      "import socket, sys, threading, time\n"
      "kind = sys.argv[1]\n"
      "s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(64)\n"
      "print('port %d' % s.getsockname()[1], flush=True)\n"
      "held = []\n"
      "def trickle(c):\n"
      "    try:\n"
      "        c.recv(4096)\n"
      "        c.sendall(b'HTTP/1.1 200 OK\\r\\nContent-Length: 100000\\r\\n\\r\\n')\n"
      "        while True:\n"
      "            c.sendall(b'x'); time.sleep(1)\n"
      "    except OSError:\n"
      "        pass\n"
      "while True:\n"
      "    c, _ = s.accept(); held.append(c)\n"
      "    if kind == 'trickle':\n"
      "        threading.Thread(target=trickle, args=(c,), daemon=True).start()\n";
  int port_ = 0;
  std::unique_ptr<Child> child_;
};

class CliReasonsTest : public CliTest {};

TEST_F(CliReasonsTest, AKeyServerThatAnswers404IsNamedWithItsStatusNeverKeyChecked) {
  ServeSites();  // www/ is empty: every file is a 404
  RunResult r = Cli({"check"});
  EXPECT_EQ(r.status, 1) << r.err;
  for (const char* entry : {"master", "signone", "signtwo", "signthree"}) {
    EXPECT_NE(r.out.find(std::string("no key: ") + key_server_ + "/ngtlkey/" + entry +
                         "/public.dat answered 404 Not Found\n"),
              std::string::npos)
        << r.out;
  }
  EXPECT_EQ(r.out.find("key checked"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("failed: " + key_server_ + "/ngtlkey/gtl/public.dat answered 404 Not Found"),
            std::string::npos)
      << r.out;
  // One line on standard error names them all.
  EXPECT_NE(r.err.find("gantrell-cli: 5 providers could not be fetched: (authority entry "
                       "master): " +
                       key_server_ + "/ngtlkey/master/public.dat answered 404 Not Found; "),
            std::string::npos)
      << r.err;

  r = Cli({"providers", "--json", "--force"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\"reason\":\"" + key_server_ +
                       "/ngtlkey/master/public.dat answered 404 Not Found\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"last_transfer\":{\"url\":\"" + key_server_ +
                       "/ngtlkey/master/public.dat\",\"http_status\":404,"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"not_fetched\":[{"), std::string::npos) << r.out;
}

TEST_F(CliReasonsTest, EveryCommandFailsTheSameWayWhenTheServerRefuses) {
  // The key server's port is closed (the fixture's default).
  for (const char* command : {"list", "files", "providers", "check"}) {
    const RunResult r = Cli({command, "--force"});
    EXPECT_EQ(r.status, 1) << command << "\n" << r.err;
    EXPECT_NE(r.err.find("could not be fetched: (authority entry master): http://127.0.0.1:9/"
                         "ngtlkey/master/public.dat: the connection was refused"),
              std::string::npos)
        << command << "\n"
        << r.err;
  }
  // Offline, nothing is fetched and nothing fails.
  EXPECT_EQ(Cli({"list", "--offline"}).status, 0);
}

TEST_F(CliReasonsTest, AServerThatHangsOrTricklesIsATimeoutNotAFailureToConnect) {
  for (const char* kind : {"hang", "trickle"}) {
    OddServer odd(kind, root_.path());
    key_server_ = odd.Base();
    const auto started = std::chrono::steady_clock::now();
    const RunResult r = Cli({"list", "--force", "--timeout", "2"});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.status, 1) << kind << "\n" << r.err;
    EXPECT_NE(r.err.find(key_server_ + "/ngtlkey/master/public.dat: timed out waiting for the "
                                       "server"),
              std::string::npos)
        << kind << "\n"
        << r.err;
    EXPECT_EQ(r.err.find("cannot connect"), std::string::npos) << r.err;
    EXPECT_LT(took, std::chrono::seconds(20)) << kind;
  }
}

TEST_F(CliReasonsTest, AFailedAddSaysWhyOnceAndIsNotListedAsAdded) {
  MakeKeyServer();
  ServeSites();
  const std::string gone = key_server_ + "/gone/";
  RunResult r = Cli({"add", gone});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(
      r.err.find("Address " + gone + " was not set up successfully.\ngantrell-cli: cannot add " +
                 gone + ": " + gone + "public.dat answered 404 Not Found; check the address"),
      std::string::npos)
      << r.err;
  // The start-up fetch and the registration are two lines, each saying
  // what it is for.
  EXPECT_NE(r.err.find("Downloading Update Lists...\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Downloading Update Lists... (registering " + gone + ")\n"),
            std::string::npos)
      << r.err;

  r = Cli({"add", "--offline", "--json", gone, key_server_ + "/ngtlkey/gtl/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\"added\":[{\"address\":\"" + key_server_ +
                       "/ngtlkey/gtl/\",\"result\":\"already registered\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"failed\":[{\"address\":\"" + gone +
                       "\",\"result\":\"not set up\",\"reason\":\"" + gone +
                       "public.dat answered 404 Not Found\"}]"),
            std::string::npos)
      << r.out;
}

TEST_F(CliReasonsTest, BadEnvironmentAndUnwritableOutputAreFoundAndFail) {
  MakeKeyServer();
  ServeSites();
  // --data-dir naming a plain file: found before any network work.
  std::ofstream(Path("plain")) << "x";
  RunResult r = Cli({"list", "--data-dir", Path("plain")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "gantrell-cli: --data-dir " + Path("plain") + " is not a folder\n");
  EXPECT_EQ(server_->Requests(), 0);

  // A missing runtime folder is named with the variable that chose it.
  std::vector<std::string> env = Environment();
  for (std::string& e : env) {
    if (e.rfind("XDG_RUNTIME_DIR=", 0) == 0)
      e = "XDG_RUNTIME_DIR=" + Path("no-such-run");
  }
  r = Child({testing::BuiltProgram("src/gantrell-cli"), "list"}, env, Path("e.out"), Path("e.err"))
          .Wait();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "gantrell-cli: cannot create the runtime folder " + Path("no-such-run") +
                       ": No such file or directory: set XDG_RUNTIME_DIR or create it\n");
  EXPECT_EQ(server_->Requests(), 0);

  // Results that cannot be written are a failure.
  r = Child({"/bin/sh", "-c", testing::BuiltProgram("src/gantrell-cli") + " list > /dev/full"},
            Environment(), Path("f.out"), Path("f.err"))
          .Wait();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("gantrell-cli: cannot write the results to standard output"),
            std::string::npos)
      << r.err;
}

TEST_F(CliReasonsTest, BothProgramsTellTheirVersionAndSuggestTheNearestCommand) {
  // The version the About box shows.
  const std::string version = "1.11\n";
  RunResult r = Cli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "gantrell-cli " + version);
  const std::string publish = testing::BuiltProgram("tools/gantrell-publish");
  r = Child({publish, "--version"}, Environment(), Path("p.out"), Path("p.err")).Wait();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "gantrell-publish " + version);
  r = Child({publish}, Environment(), Path("p.out"), Path("p.err")).Wait();
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.find("Usage: gantrell-publish"), 0u) << r.err;
  EXPECT_LT(r.err.size(), 120u) << r.err;  // a short usage, not the whole help
  r = Child({publish, "sigm"}, Environment(), Path("p.out"), Path("p.err")).Wait();
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown command 'sigm' (did you mean 'sign'?)"), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace gantrell::cli_test
