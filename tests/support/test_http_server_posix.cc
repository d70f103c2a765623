#include "support/test_http_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>

namespace gantrell {
namespace {

// Enough worker threads that many concurrent transfers and idle keep-alive
// connections never queue behind each other.
constexpr std::size_t kServerThreads = 32;
constexpr std::size_t kGeneratedBlock = 64 * 1024;

}  // namespace

// The library listens with a backlog of 5; more simultaneous connections
// would have their handshakes dropped and retried a second later.
class TestHttpServer::Listener : public httplib::Server {
 public:
  void RaiseBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

TestHttpServer::TestHttpServer() : server_(std::make_unique<Listener>()) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    port_ = 0;
    return;
  }
  server_->RaiseBacklog();
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() is ignored until the server runs, so wait for that once here.
  while (!server_->is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

void TestHttpServer::Handle(const httplib::Request& request, httplib::Response& response) {
  std::shared_ptr<const Route> route;
  std::uint64_t generation = 0;
  const std::string path = request.path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Seen& seen = seen_[path];
    ++seen.count;
    seen.headers.clear();
    for (const auto& [name, value] : request.headers) {
      seen.headers[name] = value;
    }
    connections_.insert(request.remote_addr + ":" + std::to_string(request.remote_port));
    auto found = routes_.find(path);
    if (found != routes_.end()) {
      route = found->second;
    }
    generation = release_generation_;
  }
  if (route == nullptr) {
    response.status = 404;
    response.set_content("Not found", "text/plain");
    return;
  }
  if (route->delay.count() > 0 && route->kind == Kind::kFixed && !Pause(route->delay)) {
    response.status = 503;
    return;
  }
  // Ranges are answered here or not at all: the library's own handling
  // would cut the body a second time, or answer ranges of a route that
  // ignores them.
  const_cast<httplib::Request&>(request).ranges.clear();
  const std::uint64_t size = route->kind == Kind::kGenerated ? route->size : route->body.size();
  std::uint64_t start = 0;
  response.status = route->status;
  if (route->ranges && route->kind != Kind::kStall && route->kind != Kind::kRedirect) {
    response.set_header("ETag", route->etag);
    const std::string range = request.get_header_value("Range");
    const bool same_copy =
        !request.has_header("If-Range") || request.get_header_value("If-Range") == route->etag;
    const std::string prefix = "bytes=";
    if (same_copy && range.rfind(prefix, 0) == 0 && range.size() > prefix.size() + 1 &&
        range.back() == '-' &&
        range.find_first_not_of("0123456789", prefix.size()) == range.size() - 1) {
      const std::uint64_t first = std::stoull(range.substr(prefix.size()));
      const std::uint64_t total = route->claimed_total > 0 ? route->claimed_total : size;
      if (first >= size) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(total));
        return;
      }
      start = first;
      response.status = 206;
      response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                               std::to_string(size - 1) + "/" +
                                               std::to_string(total));
    }
  }
  switch (route->kind) {
    case Kind::kFixed:
      AddSent(path, route->body.size() - start);
      response.set_content(route->body.substr(start), "application/octet-stream");
      return;
    case Kind::kRedirect:
      response.set_redirect(route->target.rfind('/', 0) == 0 ? Url(route->target) : route->target,
                            route->status);
      return;
    case Kind::kSlow:
      response.set_content_provider(
          route->body.size() - start, "application/octet-stream",
          [this, route, path, start](std::size_t offset, std::size_t length,
                                     httplib::DataSink& sink) {
            if (!Pause(route->delay)) {
              return false;
            }
            const std::size_t count = std::min(route->chunk, length);
            AddSent(path, count);
            return sink.write(route->body.data() + start + offset, count);
          });
      return;
    case Kind::kCut:
      // The cut comes at the same byte of the body whatever the range.
      response.set_content_provider(
          route->body.size() - start, "application/octet-stream",
          [this, route, path, start](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const std::size_t at = start + offset;
            if (at >= route->limit) {
              return false;  // the server closes the connection mid-body
            }
            AddSent(path, route->limit - at);
            return sink.write(route->body.data() + at, route->limit - at);
          });
      return;
    case Kind::kStall:
      response.set_content_provider(
          route->limit, "application/octet-stream",
          [this, generation](std::size_t, std::size_t, httplib::DataSink& sink) {
            // Check now and then whether the client has gone away.
            while (WaitForRelease(generation, std::chrono::milliseconds(50))) {
              if (!sink.is_writable()) {
                break;
              }
            }
            return false;
          });
      return;
    case Kind::kGenerated:
      response.set_content_provider(
          route->size - start, "application/octet-stream",
          [this, route, path, start](std::size_t offset, std::size_t length,
                                     httplib::DataSink& sink) {
            char block[kGeneratedBlock];
            const std::size_t count = std::min(length, kGeneratedBlock);
            for (std::size_t i = 0; i < count; ++i) {
              block[i] = route->filled ? route->fill : PatternByte(start + offset + i);
            }
            AddSent(path, count);
            return sink.write(block, count);
          });
      return;
  }
}

}  // namespace gantrell
