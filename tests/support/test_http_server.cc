// The parts of the test server that are the same on every system: the
// routes, what was seen, and the waits.
#include "support/test_http_server.h"

#include <algorithm>

namespace gantrell {

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string TestHttpServer::Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = PatternByte(i);
  }
  return bytes;
}

void TestHttpServer::SetRoute(const std::string& path, Route route) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::make_shared<const Route>(std::move(route));
}

void TestHttpServer::Serve(const std::string& path, std::string body, int status) {
  Route route;
  route.status = status;
  route.body = std::move(body);
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeDelayed(const std::string& path, std::string body,
                                  std::chrono::milliseconds delay) {
  Route route;
  route.body = std::move(body);
  route.delay = delay;
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeSlowly(const std::string& path, std::string body, std::size_t chunk,
                                 std::chrono::milliseconds delay) {
  Route route;
  route.kind = Kind::kSlow;
  route.body = std::move(body);
  route.chunk = std::max<std::size_t>(chunk, 1);
  route.delay = delay;
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeCut(const std::string& path, std::string body, std::size_t sent) {
  Route route;
  route.kind = Kind::kCut;
  route.limit = std::min(sent, body.size());
  route.body = std::move(body);
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeStall(const std::string& path, std::size_t length) {
  Route route;
  route.kind = Kind::kStall;
  route.limit = length;
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeGenerated(const std::string& path, std::uint64_t size) {
  Route route;
  route.kind = Kind::kGenerated;
  route.size = size;
  SetRoute(path, std::move(route));
}

void TestHttpServer::ServeFilled(const std::string& path, char byte, std::uint64_t size) {
  Route route;
  route.kind = Kind::kGenerated;
  route.size = size;
  route.filled = true;
  route.fill = byte;
  SetRoute(path, std::move(route));
}

void TestHttpServer::Redirect(const std::string& path, const std::string& target, int status) {
  Route route;
  route.kind = Kind::kRedirect;
  route.status = status;
  route.target = target;
  SetRoute(path, std::move(route));
}

void TestHttpServer::AcceptRanges(const std::string& path, std::string etag,
                                  std::uint64_t claimed_total) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = routes_.find(path);
  if (found == routes_.end())
    return;
  Route route = *found->second;
  route.ranges = true;
  route.etag = std::move(etag);
  route.claimed_total = claimed_total;
  found->second = std::make_shared<const Route>(std::move(route));
}

void TestHttpServer::ReleaseStalls() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++release_generation_;
  }
  wake_.notify_all();
}

int TestHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = seen_.find(path);
  return found == seen_.end() ? 0 : found->second.count;
}

int TestHttpServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(connections_.size());
}

std::string TestHttpServer::LastHeader(const std::string& path, const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = seen_.find(path);
  if (found == seen_.end()) {
    return "";
  }
  auto header = found->second.headers.find(name);
  return header == found->second.headers.end() ? "" : header->second;
}

std::uint64_t TestHttpServer::BytesSent(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = seen_.find(path);
  return found == seen_.end() ? 0 : found->second.bytes_sent;
}

void TestHttpServer::AddSent(const std::string& path, std::size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  seen_[path].bytes_sent += count;
}

bool TestHttpServer::Pause(std::chrono::milliseconds delay) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, delay, [this] { return stopping_; });
}

bool TestHttpServer::WaitForRelease(std::uint64_t generation, std::chrono::milliseconds delay) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, delay,
                         [&] { return stopping_ || release_generation_ != generation; });
}

bool TestHttpServer::Stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

}  // namespace gantrell
