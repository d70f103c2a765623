#include "support/hand_off_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace gantrell::testing {

const char* WithoutHandOffConnections() { return nullptr; }

SilentHandOffClient::SilentHandOffClient(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    ADD_FAILURE() << "socket path too long: " << path;
    return;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0)
    ADD_FAILURE() << "cannot connect to " << path << ": " << std::strerror(errno);
}

SilentHandOffClient::~SilentHandOffClient() {
  if (fd_ >= 0)
    ::close(fd_);
}

void SilentHandOffClient::Hang() const {
  if (fd_ >= 0)
    ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace gantrell::testing
