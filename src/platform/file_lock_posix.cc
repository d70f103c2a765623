#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "platform/posix_handle.h"

namespace gantrell {

bool FileLock::Lock(const std::string& lock_path, std::string* error) {
  Unlock();
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = OpenFailure(lock_path, std::strerror(errno));
    return false;
  }
  // flock locks belong to the open file description, so two FileLock objects
  // in one process exclude each other as well as other processes.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      *error = LockFailure(lock_path, std::strerror(errno));
      ::close(fd);
      return false;
    }
  }
  handle_ = posix::FromFd(fd);
  return true;
}

FileLock::TryResult FileLock::TryLock(const std::string& lock_path, std::string* error) {
  Unlock();
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = OpenFailure(lock_path, std::strerror(errno));
    return TryResult::kFailed;
  }
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      handle_ = posix::FromFd(fd);
      return TryResult::kTaken;
    }
    if (errno == EINTR)
      continue;
    const int failure = errno;
    ::close(fd);
    if (failure == EWOULDBLOCK)
      return TryResult::kBusy;
    *error = LockFailure(lock_path, std::strerror(failure));
    return TryResult::kFailed;
  }
}

bool FileLock::WriteNote(const std::string& note) {
  const int fd = posix::Fd(handle_);
  if (fd < 0 || ::ftruncate(fd, 0) != 0)
    return false;
  std::size_t done = 0;
  while (done < note.size()) {
    const ssize_t n =
        ::pwrite(fd, note.data() + done, note.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string FileLock::ReadNote(const std::string& lock_path) {
  int fd = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return {};
  // A note is a line or two; anything longer is not one of ours.
  char buffer[4096];
  std::string note;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    note.append(buffer, static_cast<std::size_t>(n));
    if (note.size() > sizeof buffer) {
      note.clear();
      break;
    }
  }
  ::close(fd);
  return note;
}

void FileLock::Unlock() {
  if (handle_.valid()) {
    ::close(posix::Fd(handle_));  // closing the descriptor releases the lock
    handle_ = NativeHandle();
  }
}

}  // namespace gantrell
