#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace gantrell {

bool FileLock::Lock(const std::string& lock_path, std::string* error) {
  Unlock();
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "Cannot open lock file " + lock_path + ": " + std::strerror(errno);
    return false;
  }
  // flock locks belong to the open file description, so two FileLock objects
  // in one process exclude each other as well as other processes.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      *error = "Cannot lock " + lock_path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  return true;
}

void FileLock::Unlock() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing the descriptor releases the lock
    fd_ = -1;
  }
}

}  // namespace gantrell
