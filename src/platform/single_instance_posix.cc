#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/catalogue.h"
#include "platform/posix_handle.h"
#include "platform/standard_folders.h"

namespace gantrell {
namespace {

// How long a connected client has to send its notice.
constexpr int kNoticeWaitMs = 1000;

// The folder both live in, created private to the user.
bool ChannelFolder(std::string* folder, std::string* error) {
  std::string runtime = RuntimeDir(error);
  if (runtime.empty())
    return false;
  *folder = runtime + "/gantrell";
  return EnsurePrivateFolder(*folder, error);
}

bool SocketAddress(const std::string& path, sockaddr_un* address) {
  if (path.size() >= sizeof(address->sun_path))
    return false;
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

InstanceLock::InstanceLock(std::string name) : name_(std::move(name)) {}

InstanceLock::~InstanceLock() {
  Release();
}

bool InstanceLock::TryAcquire(int timeout_ms, std::string* error) {
  std::string ignored;
  std::string& message = error != nullptr ? *error : ignored;
  message.clear();
  if (handle_.valid())
    return true;
  std::string folder;
  if (!ChannelFolder(&folder, &message))
    return false;
  const std::string path = folder + "/" + name_ + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    message = Subst(Tr("cannot open %1: %2"), {path, std::strerror(errno)});
    return false;
  }
  // flock has no timed form: retry briefly until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      handle_ = posix::FromFd(fd);
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      message = Subst(Tr("cannot lock %1: %2"), {path, std::strerror(errno)});
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(fd);
  return false;
}

void InstanceLock::Release() {
  if (!handle_.valid())
    return;
  const int fd = posix::Fd(handle_);
  ::flock(fd, LOCK_UN);
  ::close(fd);
  handle_ = NativeHandle();
}

std::unique_ptr<HandOffListener> HandOffListener::Open(const std::string& title,
                                                       std::function<void()> on_message,
                                                       std::string* error) {
  std::string folder;
  if (!ChannelFolder(&folder, error))
    return nullptr;
  const std::string path = folder + "/" + title + ".sock";
  sockaddr_un address;
  if (!SocketAddress(path, &address)) {
    if (error)
      *error = Subst(Tr("socket path too long: %1"), {path});
    return nullptr;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error)
      *error = Subst(Tr("cannot make a socket: %1"), {std::strerror(errno)});
    return nullptr;
  }
  // A socket left by an instance that died is stale: only the holder of the
  // instance lock listens, so it may take the name over.
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    if (error)
      *error = Subst(Tr("cannot listen on %1: %2"), {path, std::strerror(errno)});
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<HandOffListener>(
      new HandOffListener(posix::FromFd(fd), path, std::move(on_message)));
}

HandOffListener::HandOffListener(NativeHandle channel, std::string path,
                                 std::function<void()> on_message)
    : channel_(channel), path_(std::move(path)), on_message_(std::move(on_message)) {
  int wake_fds[2];
  if (::pipe2(wake_fds, O_CLOEXEC) == 0) {
    wake_[0] = posix::FromFd(wake_fds[0]);
    wake_[1] = posix::FromFd(wake_fds[1]);
  }
  thread_ = std::thread([this] { Run(); });
}

HandOffListener::~HandOffListener() {
  if (wake_[1].valid()) {
    const char stop = 0;
    (void)!::write(posix::Fd(wake_[1]), &stop, 1);
  }
  thread_.join();
  ::unlink(path_.c_str());
  ::close(posix::Fd(channel_));
  for (NativeHandle wake : wake_) {
    if (wake.valid())
      ::close(posix::Fd(wake));
  }
}

void HandOffListener::Run() {
  const int channel = posix::Fd(channel_);
  const int stop = posix::Fd(wake_[0]);
  for (;;) {
    pollfd fds[2] = {{channel, POLLIN, 0}, {stop, POLLIN, 0}};
    if (::poll(fds, stop >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents != 0)
      return;
    if ((fds[0].revents & POLLIN) == 0)
      continue;
    int client = ::accept4(channel, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
      continue;
    // A sender writes its one byte right after connecting. A client that
    // connects and sends nothing must not hold the channel (later notices
    // would wait behind it, and closing the window would hang in the
    // join), so the byte is waited for only briefly, and a stop ends the
    // wait at once.
    pollfd wait[2] = {{client, POLLIN, 0}, {stop, POLLIN, 0}};
    const int ready = ::poll(wait, stop >= 0 ? 2 : 1, kNoticeWaitMs);
    if (ready > 0 && stop >= 0 && wait[1].revents != 0) {
      ::close(client);
      return;
    }
    char notice;
    const bool got = ready > 0 && (wait[0].revents & POLLIN) != 0 &&
                     ::recv(client, &notice, 1, MSG_DONTWAIT) == 1;
    ::close(client);
    if (got)
      on_message_();
  }
}

bool NotifyHandOff(const std::string& title) {
  std::string folder;
  if (!ChannelFolder(&folder, nullptr))
    return false;
  return NotifyHandOffIn(folder, title);
}

std::string HandOffFolder(std::string* error) {
  std::string folder;
  return ChannelFolder(&folder, error) ? folder : std::string();
}

bool NotifyHandOffIn(const std::string& folder, const std::string& title) {
  if (folder.empty() || folder.front() != '/')
    return false;
  sockaddr_un address;
  if (!SocketAddress(folder + "/" + title + ".sock", &address))
    return false;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const char notice = 2;  // the hand-off message
  const bool sent = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::write(fd, &notice, 1) == 1;
  ::close(fd);
  return sent;
}

}  // namespace gantrell
