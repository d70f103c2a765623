// A client of the hand-off channel that connects and then sends nothing,
// as a stuck or hostile program would. On POSIX systems the channel is a
// Unix socket; on Windows it is a named event, which no client can hold,
// so the tests that need this skip there.
#pragma once

#include <string>

namespace gantrell::testing {

// nullptr when the hand-off channel takes connections, else why not.
const char* WithoutHandOffConnections();

class SilentHandOffClient {
 public:
  // Connects to the channel's socket at `path`; fails the current test
  // when it cannot.
  explicit SilentHandOffClient(const std::string& path);
  ~SilentHandOffClient();
  SilentHandOffClient(const SilentHandOffClient&) = delete;
  SilentHandOffClient& operator=(const SilentHandOffClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  // Ends the connection in both directions (the listener sees it go); may
  // be called from another thread while the object lives.
  void Hang() const;

 private:
  int fd_ = -1;
};

}  // namespace gantrell::testing
