#include "platform/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/catalogue.h"

namespace gantrell {
namespace {

void SetError(std::string* error, const std::string& what, const std::string& path, int err) {
  if (error != nullptr)
    *error = Subst(Tr(what), {path, std::strerror(err)});
}

// Reads up to `size` bytes, resuming short and interrupted reads, so that
// only the end of the file gives fewer. -1 on an error.
ssize_t ReadBlock(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return -1;
    if (n == 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool CopyFileInBlocks(const std::string& source, const std::string& destination, std::string* error,
                      const std::function<void(std::size_t)>& on_read) {
  if (destination.empty()) {
    SetError(error, TrNoop("Cannot copy to %1: %2"), Tr("an empty name"), ENOENT);
    return false;
  }
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetError(error, TrNoop("Cannot read %1: %2"), source, errno);
    return false;
  }
  struct stat info;
  const mode_t mode = ::fstat(in, &info) == 0 ? (info.st_mode & 0777) : 0644;

  std::string pattern = destination + ".copyXXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    SetError(error, TrNoop("Cannot write %1: %2"), destination, errno);
    ::close(in);
    return false;
  }

  int failure = 0;
  std::string failed_path = source;
  char block[kCopyBlockSize];
  for (;;) {
    const ssize_t got = ReadBlock(in, block, sizeof block);
    if (got < 0) {
      failure = errno;
      break;
    }
    if (on_read)
      on_read(static_cast<std::size_t>(got));
    if (!WriteAll(out, block, static_cast<std::size_t>(got))) {
      failure = errno != 0 ? errno : EIO;
      failed_path = destination;
      break;
    }
    if (static_cast<std::size_t>(got) < sizeof block)
      break;
  }
  if (failure == 0 && (::fchmod(out, mode) != 0 || ::fsync(out) != 0)) {
    failure = errno;
    failed_path = destination;
  }
  if (::close(out) != 0 && failure == 0) {
    failure = errno;
    failed_path = destination;
  }
  ::close(in);
  // Only a complete copy takes the destination's name.
  if (failure == 0 && ::rename(temp.data(), destination.c_str()) != 0) {
    failure = errno;
    failed_path = destination;
  }
  if (failure != 0) {
    ::unlink(temp.data());
    SetError(error,
             failed_path == source ? TrNoop("Cannot read %1: %2") : TrNoop("Cannot write %1: %2"),
             failed_path, failure);
    return false;
  }
  return true;
}

}  // namespace gantrell
