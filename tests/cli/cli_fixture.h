// Whole runs of gantrell-cli: each test gets a user of its own (home,
// XDG folders, registry, runtime folder), sites made with gantrell-publish
// and a real static web server on 127.0.0.1 that logs every request.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell::cli_test {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// A child process in a session of its own (so it has no terminal), its
// output in files.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::string& out_file, const std::string& err_file)
      : out_(out_file), err_(err_file) {
    std::vector<char*> args, envp;
    for (const auto& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env)
      envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  RunResult Wait() {
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(out_), ReadWholeFile(err_)};
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string out_, err_;
};

// Waits up to ten seconds for `ready`.
template <typename Ready>
bool WaitFor(Ready ready) {
  for (int i = 0; i < 200; ++i) {
    if (ready())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// python3's static web server on a port the system picks. Paths under
// `slow_prefix` are answered after `slow_seconds`, and noted in the log
// ("SLOW path") when the wait begins.
class WebServer {
 public:
  WebServer(const std::string& root, const std::string& work, const std::string& slow_prefix = "",
            double slow_seconds = 0) {
    log_ = work + "/server.log";
    const std::string out = work + "/server.out";
    std::vector<std::string> argv = {"/usr/bin/python3", "-u"};
    if (slow_prefix.empty()) {
      argv.insert(argv.end(),
                  {"-m", "http.server", "--bind", "127.0.0.1", "0", "--directory", root});
    } else {
      const std::string script = work + "/slow_server.py";
      std::ofstream(script) << kSlowServer;
      argv.insert(argv.end(), {script, root, slow_prefix, std::to_string(slow_seconds)});
    }
    child_ =
        std::make_unique<Child>(argv, std::vector<std::string>{"PATH=/usr/bin:/bin"}, out, log_);
    const std::regex serving(R"(port (\d+))");
    EXPECT_TRUE(WaitFor([&] {
      std::smatch match;
      const std::string text = ReadWholeFile(out);
      if (!std::regex_search(text, match, serving))
        return false;
      port_ = std::stoi(match[1]);
      return true;
    })) << ReadWholeFile(log_);
  }

  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return ReadWholeFile(log_); }
  int Requests() const {
    const std::string log = Log();
    int count = 0;
    for (std::size_t at = 0; (at = log.find("\"GET ", at)) != std::string::npos; ++at)
      ++count;
    return count;
  }

 private:
  static constexpr const char* kSlowServer =
      "import functools, http.server, sys, time\n"
      "root, prefix, delay = sys.argv[1], sys.argv[2], float(sys.argv[3])\n"
      "class Handler(http.server.SimpleHTTPRequestHandler):\n"
      "    def do_GET(self):\n"
      "        if self.path.startswith(prefix):\n"
      "            sys.stderr.write('SLOW ' + self.path + '\\n')\n"
      "            time.sleep(delay)\n"
      "        super().do_GET()\n"
      "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0),\n"
      "    functools.partial(Handler, directory=root))\n"
      "print('Serving on port %d ' % server.server_address[1], flush=True)\n"
      "server.serve_forever()\n";

  std::string log_;
  int port_ = 0;
  std::unique_ptr<Child> child_;
};

// One user of the console client, with the sites it talks to under www/.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    for (const char* folder :
         {"home", "config", "data", "run", "registry", "www", "keys", "files"}) {
      fs::create_directories(Path(folder));
    }
    fs::permissions(Path("run"), fs::perms::owner_all, fs::perm_options::replace);
  }

  std::string Path(const std::string& name) const { return root_.path() + "/" + name; }
  std::string DataFolder() const { return Path("data") + "/Gantrell"; }

  std::vector<std::string> Environment() const {
    return {"PATH=/usr/bin:/bin",
            "HOME=" + Path("home"),
            "XDG_CONFIG_HOME=" + Path("config"),
            "XDG_DATA_HOME=" + Path("data"),
            "XDG_RUNTIME_DIR=" + Path("run"),
            "GANTRELL_REGISTRY_DIR=" + Path("registry"),
            "GANTRELL_KEY_SERVER=" + key_server_};
  }

  std::unique_ptr<Child> Start(const std::vector<std::string>& args,
                               const std::string& tag = "cli") {
    std::vector<std::string> argv = {testing::BuiltProgram("src/gantrell-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, Environment(), Path(tag + ".out"), Path(tag + ".err"));
  }
  RunResult Cli(const std::vector<std::string>& args) { return Start(args)->Wait(); }

  void Publish(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {testing::BuiltProgram("tools/gantrell-publish")};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult r = Child(argv, Environment(), Path("publish.out"), Path("publish.err")).Wait();
    ASSERT_EQ(r.status, 0) << r.err;
  }

  // A provider site at www/PATH/ built from `manifest`, whose "key = " line
  // is added here; file names in it are taken from files/.
  void MakeSite(const std::string& path, const std::string& manifest) {
    const std::string key = Path("keys/" + std::to_string(sites_++) + ".pem");
    Publish({"keygen", "--bits", "1024", key, key + ".dat"});
    const std::string file = Path("files/site.manifest");
    std::ofstream(file) << "key = " << key << "\n" << manifest;
    Publish({"site", "--out", Path("www/" + path), file});
  }

  // The key server: the four authority entries' keys and the client's own
  // (empty) update site.
  void MakeKeyServer() {
    for (const char* entry : {"master", "signone", "signtwo", "signthree"}) {
      fs::create_directories(Path(std::string("www/ngtlkey/") + entry));
      Publish({"keygen", "--bits", "1024", Path(std::string("keys/") + entry + ".pem"),
               Path(std::string("www/ngtlkey/") + entry + "/public.dat")});
    }
    MakeSite("ngtlkey/gtl", "name = Gantrell\n");
  }

  void ServeSites(const std::string& slow_prefix = "", double slow_seconds = 0) {
    server_ = std::make_unique<WebServer>(Path("www"), root_.path(), slow_prefix, slow_seconds);
    key_server_ = server_->Base();
  }

  std::string Store() const { return ReadWholeFile(DataFolder() + "/provdata.dat"); }
  void WriteStore(const std::string& text) const {
    std::ofstream(DataFolder() + "/provdata.dat", std::ios::binary | std::ios::trunc) << text;
  }

  testing::TempDir root_;
  std::string key_server_ = "http://127.0.0.1:9";
  std::unique_ptr<WebServer> server_;
  int sites_ = 0;
};

}  // namespace gantrell::cli_test
