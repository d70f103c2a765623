// Download throughput of the synchronous HTTP session read 256 bytes at a
// time (as the item download engine reads), against a plain libcurl easy
// download of the same body written to /dev/null, both from a minimal
// server on 127.0.0.1 in this process.
//
//   http_download_bench [megabytes] [rounds]     (default 1024 MiB, 3 rounds)
//
// Prints the best throughput of each, their ratio and the peak resident
// memory of the process.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_sync_session.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers every connection with `size` bytes from one static block, as fast
// as the socket takes them, then closes it.
class BlastServer {
 public:
  explicit BlastServer(std::uint64_t size) : size_(size), block_(1 << 20, 'x') {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~BlastServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/big.dat"; }

 private:
  void Serve() {
    while (!stopping_) {
      const int connection = ::accept(listener_, nullptr, nullptr);
      if (connection < 0) {
        return;
      }
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t count = ::read(connection, buffer, sizeof buffer);
        if (count <= 0) {
          break;
        }
        request.append(buffer, static_cast<std::size_t>(count));
      }
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size_) +
                               "\r\nConnection: close\r\n\r\n";
      bool ok = ::write(connection, head.data(), head.size()) == static_cast<ssize_t>(head.size());
      for (std::uint64_t left = size_; ok && left > 0;) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block_.size()));
        const ssize_t written = ::write(connection, block_.data(), count);
        ok = written > 0;
        left -= ok ? static_cast<std::uint64_t>(written) : 0;
      }
      ::close(connection);
    }
  }

  const std::uint64_t size_;
  const std::string block_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

// Seconds for a plain easy download of `url` to /dev/null; < 0 on failure.
double EasyDownload(const std::string& url, std::uint64_t* bytes) {
  std::FILE* sink = std::fopen("/dev/null", "wb");
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, sink);
  const Clock::time_point start = Clock::now();
  const CURLcode result = curl_easy_perform(easy);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  curl_off_t received = 0;
  curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
  *bytes = static_cast<std::uint64_t>(received);
  curl_easy_cleanup(easy);
  std::fclose(sink);
  return result == CURLE_OK ? seconds : -1;
}

// Seconds for reading `url` through the session in 256-byte reads.
double SessionDownload(gantrell::HttpSession& session, const std::string& url,
                       std::uint64_t* bytes) {
  const Clock::time_point start = Clock::now();
  std::string error;
  auto request = session.OpenUrl(url, &error);
  if (request == nullptr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return -1;
  }
  char buffer[256];
  std::size_t count = 0;
  std::uint64_t total = 0;
  unsigned checksum = 0;
  while (request->Read(buffer, sizeof buffer, &count) && count > 0) {
    total += count;
    checksum += static_cast<unsigned char>(buffer[count - 1]);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  *bytes = total;
  return checksum == 0 && total > 0 ? -1 : seconds;
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::uint64_t size = megabytes << 20;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  BlastServer server(size);

  std::string error;
  auto session = gantrell::OpenHttpSession(gantrell::HttpOptions(), &error);
  if (session == nullptr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  double best_session = 1e30;
  double best_easy = 1e30;
  for (int round = 0; round < rounds; ++round) {
    std::uint64_t bytes = 0;
    const double ours = SessionDownload(*session, server.Url(), &bytes);
    if (ours < 0 || bytes != size) {
      std::fprintf(stderr, "session download failed (%llu bytes)\n",
                   static_cast<unsigned long long>(bytes));
      return 1;
    }
    const long rss_after_session = PeakRssKiB();
    const double easy = EasyDownload(server.Url(), &bytes);
    if (easy < 0 || bytes != size) {
      std::fprintf(stderr, "easy download failed\n");
      return 1;
    }
    std::printf("round %d: session %.0f MiB/s, easy %.0f MiB/s, peak RSS %ld KiB\n", round + 1,
                megabytes / ours, megabytes / easy, rss_after_session);
    best_session = std::min(best_session, ours);
    best_easy = std::min(best_easy, easy);
  }
  std::printf(
      "%llu MiB: session with 256-byte reads %.0f MiB/s, easy to /dev/null %.0f MiB/s, "
      "ratio %.2f, peak RSS %ld KiB\n",
      static_cast<unsigned long long>(megabytes), megabytes / best_session, megabytes / best_easy,
      best_easy / best_session, PeakRssKiB());
  return 0;
}
