// Whole runs of gantrell-cli that are stopped in the middle of a large
// download and run again, against nginx, which answers ranges as most web
// servers do: the second run must fetch only the rest (206), start over
// with a server that ignores ranges, and drop the kept bytes of an item
// republished in between. Skipped where nginx is not installed.
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>

#include <cstdio>
#include <sstream>

#include "cli_fixture.h"

namespace gantrell::cli_test {
namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr std::uint64_t kItemSize = std::uint64_t{64} << 20;

// A port nobody listens on just now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

// nginx as the test's user, everything of it (configuration, pid, logs,
// temporary folders) in `work`, serving `root`; below /norange/ it ignores
// Range headers. Bodies are sent at `rate` bytes a second so that a run can
// be stopped half way.
class Nginx {
 public:
  Nginx(const std::string& root, const std::string& work, const std::string& rate) : work_(work) {
    fs::create_directories(work + "/temp");
    for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
      port_ = FreePort();
      // Started by root, nginx would hand the work to another user that
      // cannot read the test's private folders; as anyone else it ignores
      // this with a warning.
      const passwd* user = ::getpwuid(::geteuid());
      const group* team = ::getgrgid(::getegid());
      std::ofstream(work + "/nginx.conf")
          << "worker_processes 1;\n"
          << (user != nullptr && team != nullptr
                  ? std::string("user ") + user->pw_name + " " + team->gr_name + ";\n"
                  : std::string())
          << "pid " << work << "/nginx.pid;\n"
          << "error_log " << work << "/error.log;\n"
          << "events { worker_connections 64; }\n"
          << "http {\n"
          << "  default_type application/octet-stream;\n"
          << "  log_format resume '$uri $status $body_bytes_sent \"$http_range\" "
             "\"$http_if_range\"';\n"
          << "  access_log " << work << "/access.log resume;\n"
          << "  client_body_temp_path " << work << "/temp/body;\n"
          << "  proxy_temp_path " << work << "/temp/proxy;\n"
          << "  fastcgi_temp_path " << work << "/temp/fastcgi;\n"
          << "  uwsgi_temp_path " << work << "/temp/uwsgi;\n"
          << "  scgi_temp_path " << work << "/temp/scgi;\n"
          << "  server {\n"
          << "    listen 127.0.0.1:" << port_ << ";\n"
          << "    root " << root << ";\n"
          << "    location ~ \\.dat$ { limit_rate " << rate << "; }\n"
          << "    location ^~ /norange/ { max_ranges 0; limit_rate " << rate << "; }\n"
          << "  }\n"
          << "}\n";
      child_ = std::make_unique<Child>(
          std::vector<std::string>{kNginx, "-e", work + "/error.log", "-p", work, "-c",
                                   work + "/nginx.conf", "-g", "daemon off;"},
          std::vector<std::string>{"PATH=/usr/bin:/bin"}, work + "/nginx.out",
          work + "/nginx.err");
      running_ = WaitFor([&] { return ReadWholeFile(work + "/nginx.pid").size() > 0; });
      if (!running_)
        child_.reset();
    }
  }
  ~Nginx() {
    if (child_ != nullptr)
      ::kill(child_->pid(), SIGQUIT);
  }

  bool running() const { return running_; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string Errors() const { return ReadWholeFile(work_ + "/error.log"); }

  struct Entry {
    std::string uri;
    int status = 0;
    std::uint64_t bytes = 0;
    std::string range, if_range;
  };
  // The requests for paths ending in `suffix`, oldest first.
  std::vector<Entry> Requests(const std::string& suffix) const {
    std::vector<Entry> entries;
    std::istringstream log(ReadWholeFile(work_ + "/access.log"));
    const std::regex line(R"re(^(\S+) (\d+) (\d+) "([^"]*)" "([^"]*)"$)re");
    for (std::string text; std::getline(log, text);) {
      std::smatch match;
      if (!std::regex_match(text, match, line))
        continue;
      const std::string uri = match[1];
      if (uri.size() < suffix.size() || uri.compare(uri.size() - suffix.size(), suffix.size(),
                                                    suffix) != 0)
        continue;
      entries.push_back({uri, std::stoi(match[2]), std::stoull(match[3]), match[4], match[5]});
    }
    return entries;
  }

 private:
  std::string work_;
  int port_ = 0;
  bool running_ = false;
  std::unique_ptr<Child> child_;
};

class CliResumeTest : public CliTest {
 protected:
  void SetUp() override {
    if (!fs::exists(kNginx))
      GTEST_SKIP() << "nginx is not installed (" << kNginx
                   << "); scripts/install-deps installs it for these whole runs";
    // 64 MiB of bytes that differ along the file.
    std::string bytes(kItemSize, '\0');
    for (std::uint64_t i = 0; i < kItemSize; ++i)
      bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    std::ofstream(Path("files/big.bin"), std::ios::binary) << bytes;
    MakeKeyServer();
    fs::create_directories(Path("nginx"));
    // 32 MiB a second: the item takes two seconds.
    nginx_ = std::make_unique<Nginx>(Path("www"), Path("nginx"), "32m");
    ASSERT_TRUE(nginx_->running()) << nginx_->Errors();
    key_server_ = nginx_->Base();
  }

  // The item's folder of the site at `site`.
  std::string ItemFolder(const std::string& site) const {
    return DataFolder() + "/127_0_0_1_" + key_server_.substr(17) + "_" + site + "_/1";
  }
  // The kept part file in `folder` (not its .info); empty when none.
  static std::string KeptPart(const std::string& folder) {
    if (!fs::exists(folder))
      return "";
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".partial-") != std::string::npos && name.find(".info") == std::string::npos)
        return entry.path().string();
    }
    return "";
  }
  static std::uint64_t SizeOf(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
  }

  // Starts a download of everything new and ends it with SIGTERM once
  // about half of the item is in its part file; returns the kept bytes.
  std::uint64_t InterruptedDownload(const std::string& site) {
    auto run = Start({"download", "--offline"}, "first");
    EXPECT_TRUE(WaitFor([&] { return SizeOf(KeptPart(ItemFolder(site))) >= kItemSize / 2; }))
        << ReadWholeFile(Path("first.err"));
    ::kill(run->pid(), SIGTERM);
    const RunResult r = run->Wait();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Download cancelled."), std::string::npos) << r.err;
    const std::string part = KeptPart(ItemFolder(site));
    EXPECT_FALSE(part.empty());
    EXPECT_TRUE(fs::exists(part + ".info"));
    const std::uint64_t kept = SizeOf(part);
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, kItemSize);
    return kept;
  }

  void ExpectFiled(const std::string& site) {
    EXPECT_EQ(ReadWholeFile(ItemFolder(site) + "/big.bin"), ReadWholeFile(Path("files/big.bin")));
    EXPECT_EQ(KeptPart(ItemFolder(site)), "");
    const RunResult list = Cli({"list", "--offline"});
    EXPECT_NE(list.out.find("No new items to download."), std::string::npos) << list.out;
  }

  void AddSite(const std::string& site) {
    const RunResult r = Cli({"add", key_server_ + "/" + site});
    ASSERT_EQ(r.status, 0) << r.out << r.err << nginx_->Errors();
  }

  std::unique_ptr<Nginx> nginx_;
};

constexpr char kBigItem[] =
    "name = Big Tools\n"
    "[group \"Tools\"]\n"
    "[item \"big.bin\"]\nfile = big.bin\nnumber = 1\n";

TEST_F(CliResumeTest, ASecondDownloadFetchesOnlyTheRest) {
  MakeSite("site/", kBigItem);
  ASSERT_NO_FATAL_FAILURE(AddSite("site/"));
  const std::uint64_t kept = InterruptedDownload("site");

  const RunResult r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  const int percent = static_cast<int>(kept * 100 / kItemSize);
  EXPECT_NE(r.err.find("resuming big.bin at " + std::to_string(percent) + "%\n"),
            std::string::npos)
      << r.err;
  const std::vector<Nginx::Entry> requests = nginx_->Requests("/site/1.dat");
  ASSERT_GE(requests.size(), 2u);
  const Nginx::Entry& last = requests.back();
  EXPECT_EQ(last.status, 206);
  EXPECT_EQ(last.range, "bytes=" + std::to_string(kept) + "-");
  EXPECT_FALSE(last.if_range.empty());
  EXPECT_EQ(last.bytes, kItemSize - kept);
  EXPECT_LT(last.bytes, kItemSize / 2 + (std::uint64_t{1} << 20));
  std::printf("second run: %llu of %llu bytes over the wire (206, kept %llu)\n",
              static_cast<unsigned long long>(last.bytes),
              static_cast<unsigned long long>(kItemSize), static_cast<unsigned long long>(kept));
  ExpectFiled("site");
}

TEST_F(CliResumeTest, AServerThatIgnoresRangesSendsTheWholeItemAgain) {
  MakeSite("norange/", kBigItem);
  ASSERT_NO_FATAL_FAILURE(AddSite("norange/"));
  InterruptedDownload("norange");

  const RunResult r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("resuming"), std::string::npos) << r.err;
  const std::vector<Nginx::Entry> requests = nginx_->Requests("/norange/1.dat");
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests.back().status, 200);
  EXPECT_NE(requests.back().range, "");
  EXPECT_EQ(requests.back().bytes, kItemSize);
  ExpectFiled("norange");
}

TEST_F(CliResumeTest, AnItemRepublishedInBetweenDropsTheKeptBytes) {
  MakeSite("site/", kBigItem);
  ASSERT_NO_FATAL_FAILURE(AddSite("site/"));
  InterruptedDownload("site");
  const std::string old_part = KeptPart(ItemFolder("site"));

  // New bytes give the item a new stamp; the client learns it at its check.
  {
    std::fstream file(Path("files/big.bin"), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(1000);
    file.write("republished", 11);
  }
  // The same manifest, so the same key.
  fs::remove_all(Path("www/site"));
  Publish({"site", "--out", Path("www/site/"), Path("files/site.manifest")});
  const RunResult check = Cli({"check", "--force"});
  ASSERT_EQ(check.status, 0) << check.err;

  const RunResult r = Cli({"download", "--offline"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("resuming"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(old_part));
  EXPECT_FALSE(fs::exists(old_part + ".info"));
  const std::vector<Nginx::Entry> requests = nginx_->Requests("/site/1.dat");
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests.back().status, 200);
  EXPECT_EQ(requests.back().range, "-");  // none
  EXPECT_EQ(requests.back().bytes, kItemSize);
  ExpectFiled("site");
}

}  // namespace
}  // namespace gantrell::cli_test
