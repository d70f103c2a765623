// The test server on Winsock, for the Windows test programs (Debian has no
// cpp-httplib built for Windows). It speaks as much HTTP/1.1 as the tests
// need: GET, keep-alive, Content-Length bodies, and "Range: bytes=N-" on
// fixed and generated bodies. Every socket is non-blocking and every wait
// looks at the clock, so the destructor never waits for a client.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <vector>
#include <string_view>

#include "support/test_http_server.h"

namespace gantrell {
namespace {

constexpr std::size_t kGeneratedBlock = 64 * 1024;
constexpr long kTickUs = 20 * 1000;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i]))
      return false;
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

// Threads that serve the connections of every server of the test program.
// Starting a thread under a loaded Wine takes tens of milliseconds, so a
// burst of connections served by new threads would keep the last client
// waiting for its answer longer than a test's idle timeout; these threads
// are started once and kept.
class ConnectionThreads {
 public:
  static ConnectionThreads& Shared() {
    // Never destroyed: its threads live as long as the program.
    static ConnectionThreads* threads = new ConnectionThreads();
    return *threads;
  }

  void Submit(std::function<void()> job) {
    bool start = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
      start = jobs_.size() > idle_;
      if (start)
        ++idle_;
    }
    if (start)
      std::thread([this] { Serve(); }).detach();
    else
      wake_.notify_one();
  }

 private:
  static constexpr int kReady = 16;

  ConnectionThreads() {
    idle_ = kReady;
    for (int i = 0; i < kReady; ++i)
      std::thread([this] { Serve(); }).detach();
  }

  void Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return !jobs_.empty(); });
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      --idle_;
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
      ++idle_;
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::size_t idle_ = 0;  // threads waiting for a job, or starting to
};

}  // namespace

class TestHttpServer::Listener {
 public:
  explicit Listener(TestHttpServer* owner) : owner_(owner) { ConnectionThreads::Shared(); }

  // Binds 127.0.0.1 on a free port; 0 when it cannot.
  int Bind() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
      return 0;
    started_ = true;
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET)
      return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket_, SOMAXCONN) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return 0;
    u_long nonblocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonblocking);
    return ntohs(address.sin_port);
  }

  ~Listener() {
    {
      // The owner is stopping: every connection ends within a tick.
      std::unique_lock<std::mutex> lock(serving_mutex_);
      served_.wait(lock, [this] { return serving_ == 0; });
    }
    if (socket_ != INVALID_SOCKET)
      closesocket(socket_);
    if (started_)
      WSACleanup();
  }

  // The accepting loop; ends once the owner is stopping.
  void Run() {
    while (!owner_->Stopping()) {
      if (!WaitFor(socket_, false))
        continue;
      sockaddr_in peer{};
      int length = sizeof peer;
      SOCKET client = ::accept(socket_, reinterpret_cast<sockaddr*>(&peer), &length);
      if (client == INVALID_SOCKET)
        continue;
      u_long nonblocking = 1;
      ioctlsocket(client, FIONBIO, &nonblocking);
      char ip[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
      const std::string name = std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
      {
        std::lock_guard<std::mutex> lock(serving_mutex_);
        ++serving_;
      }
      ConnectionThreads::Shared().Submit([this, client, name] {
        Serve(client, name);
        closesocket(client);
        std::lock_guard<std::mutex> lock(serving_mutex_);
        --serving_;
        served_.notify_all();
      });
    }
  }

  // Waits a tick for `socket` to be readable (or writable); false when it
  // is not yet.
  static bool WaitFor(SOCKET socket, bool write) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval tick{0, kTickUs};
    return ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tick) > 0;
  }

  // Sends all of `data`; false when the client has gone or the server stops.
  bool Send(SOCKET socket, const char* data, std::size_t size) {
    while (size > 0) {
      if (owner_->Stopping())
        return false;
      if (!WaitFor(socket, true))
        continue;
      const int sent = ::send(socket, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
      if (sent == SOCKET_ERROR) {
        if (WSAGetLastError() == WSAEWOULDBLOCK)
          continue;
        return false;
      }
      data += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }
  bool Send(SOCKET socket, const std::string& text) { return Send(socket, text.data(), text.size()); }

  // True while the client keeps its side open (nothing more is expected
  // from it while a response is under way).
  static bool ClientThere(SOCKET socket) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval none{0, 0};
    if (::select(0, &set, nullptr, nullptr, &none) <= 0)
      return true;
    char byte;
    return ::recv(socket, &byte, 1, MSG_PEEK) > 0;
  }

  // Reads one request's head into *head; false at the end of the connection.
  bool ReadHead(SOCKET socket, std::string* pending, std::string* head) {
    for (;;) {
      const std::size_t end = pending->find("\r\n\r\n");
      if (end != std::string::npos) {
        *head = pending->substr(0, end);
        pending->erase(0, end + 4);
        return true;
      }
      if (owner_->Stopping())
        return false;
      if (!WaitFor(socket, false))
        continue;
      char buffer[4096];
      const int got = ::recv(socket, buffer, sizeof buffer, 0);
      if (got == 0)
        return false;
      if (got == SOCKET_ERROR) {
        if (WSAGetLastError() == WSAEWOULDBLOCK)
          continue;
        return false;
      }
      pending->append(buffer, static_cast<std::size_t>(got));
    }
  }

  void Serve(SOCKET socket, const std::string& name) {
    std::string pending;
    std::string head;
    while (ReadHead(socket, &pending, &head)) {
      std::string path;
      std::map<std::string, std::string> headers;
      std::size_t line_end = head.find("\r\n");
      const std::string request_line = head.substr(0, line_end);
      const std::size_t first_space = request_line.find(' ');
      const std::size_t second_space = request_line.find(' ', first_space + 1);
      if (first_space == std::string::npos || second_space == std::string::npos)
        return;
      path = request_line.substr(first_space + 1, second_space - first_space - 1);
      path = path.substr(0, path.find('?'));
      while (line_end != std::string::npos) {
        const std::size_t start = line_end + 2;
        line_end = head.find("\r\n", start);
        const std::string line = head.substr(start, line_end == std::string::npos
                                                        ? std::string::npos
                                                        : line_end - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
          continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        headers[line.substr(0, colon)] = value;
      }
      if (!Respond(socket, name, path, headers))
        return;
      for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, "Connection") && EqualNoCase(value, "close"))
          return;
      }
    }
  }

  // Answers one request; false when the connection must close.
  bool Respond(SOCKET socket, const std::string& name, const std::string& path,
               const std::map<std::string, std::string>& headers) {
    std::shared_ptr<const Route> route;
    std::uint64_t generation = 0;
    std::string range;
    std::string if_range;
    bool has_if_range = false;
    {
      std::lock_guard<std::mutex> lock(owner_->mutex_);
      Seen& seen = owner_->seen_[path];
      ++seen.count;
      seen.headers = headers;
      owner_->connections_.insert(name);
      auto found = owner_->routes_.find(path);
      if (found != owner_->routes_.end())
        route = found->second;
      generation = owner_->release_generation_;
    }
    for (const auto& [key, value] : headers) {
      if (EqualNoCase(key, "Range"))
        range = value;
      if (EqualNoCase(key, "If-Range")) {
        if_range = value;
        has_if_range = true;
      }
    }
    auto start = [&](int status, std::uint64_t length, const std::string& extra = "") {
      return Send(socket, "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                              "\r\nContent-Length: " + std::to_string(length) +
                              "\r\nContent-Type: application/octet-stream\r\n" + extra + "\r\n");
    };
    if (route == nullptr)
      return start(404, 9) && Send(socket, "Not found");
    // "bytes=N-" on a body of `size` bytes: the first byte to send, the
    // status and the extra header; false when the range cannot be met.
    std::uint64_t offset = 0;
    int status = route->status;
    std::string extra;
    // Ranges are answered only on routes that accept them, as the Linux
    // server does; the others send the whole body whatever was asked.
    if (route->ranges && route->kind != Kind::kStall && route->kind != Kind::kRedirect)
      extra = "ETag: " + route->etag + "\r\n";
    auto take_range = [&](std::uint64_t size) {
      if (!route->ranges || (has_if_range && if_range != route->etag))
        return true;
      if (range.size() < 7 || range.rfind("bytes=", 0) != 0 || range.back() != '-' ||
          status != 200)
        return true;
      const std::uint64_t total = route->claimed_total > 0 ? route->claimed_total : size;
      const std::string digits = range.substr(6, range.size() - 7);
      if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return true;  // not a range this server knows: the whole body
      offset = std::stoull(digits);
      if (offset >= size) {
        status = 416;
        extra += "Content-Range: bytes */" + std::to_string(total) + "\r\n";
        return false;
      }
      status = 206;
      extra += "Content-Range: bytes " + std::to_string(offset) + "-" + std::to_string(size - 1) +
               "/" + std::to_string(total) + "\r\n";
      return true;
    };
    switch (route->kind) {
      case Kind::kFixed: {
        if (route->delay.count() > 0 && !owner_->Pause(route->delay))
          return false;
        if (!take_range(route->body.size()))
          return start(status, 0, extra);
        const std::size_t count = route->body.size() - offset;
        owner_->AddSent(path, count);
        return start(status, count, extra) && Send(socket, route->body.data() + offset, count);
      }
      case Kind::kRedirect: {
        const std::string target =
            route->target.rfind('/', 0) == 0 ? owner_->Url(route->target) : route->target;
        return start(route->status, 0, "Location: " + target + "\r\n");
      }
      case Kind::kSlow: {
        if (!take_range(route->body.size()))
          return start(status, 0, extra);
        if (!start(status, route->body.size() - offset, extra))
          return false;
        for (std::size_t sent = offset; sent < route->body.size();) {
          if (!owner_->Pause(route->delay))
            return false;
          const std::size_t count = std::min(route->chunk, route->body.size() - sent);
          owner_->AddSent(path, count);
          if (!Send(socket, route->body.data() + sent, count))
            return false;
          sent += count;
        }
        return true;
      }
      case Kind::kCut: {
        if (!take_range(route->body.size()))
          return start(status, 0, extra);
        // The cut comes at the same byte of the body whatever the range.
        const std::size_t count = offset < route->limit ? route->limit - offset : 0;
        owner_->AddSent(path, count);
        start(status, route->body.size() - offset, extra) &&
            Send(socket, route->body.data() + offset, count);
        return false;  // the server closes the connection mid-body
      }
      case Kind::kStall:
        if (!start(status, route->limit))
          return false;
        while (owner_->WaitForRelease(generation, std::chrono::milliseconds(50))) {
          if (!ClientThere(socket))
            break;
        }
        return false;
      case Kind::kGenerated: {
        if (!take_range(route->size))
          return start(status, 0, extra);
        if (!start(status, route->size - offset, extra))
          return false;
        std::vector<char> block(kGeneratedBlock);
        for (std::uint64_t at = offset; at < route->size;) {
          const std::size_t count =
              static_cast<std::size_t>(std::min<std::uint64_t>(kGeneratedBlock, route->size - at));
          for (std::size_t i = 0; i < count; ++i)
            block[i] = route->filled ? route->fill : PatternByte(at + i);
          owner_->AddSent(path, count);
          if (!Send(socket, block.data(), count))
            return false;
          at += count;
        }
        return true;
      }
    }
    return false;
  }

 private:
  TestHttpServer* const owner_;
  SOCKET socket_ = INVALID_SOCKET;
  bool started_ = false;
  std::mutex serving_mutex_;  // guards serving_
  std::condition_variable served_;
  int serving_ = 0;  // connections being served
};

TestHttpServer::TestHttpServer() : server_(std::make_unique<Listener>(this)) {
  port_ = server_->Bind();
  if (port_ == 0)
    return;
  thread_ = std::thread([this] { server_->Run(); });
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable())
    thread_.join();
  server_.reset();  // waits for every connection to end
}

}  // namespace gantrell
