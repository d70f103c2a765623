#include "platform/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace gantrell {

BoundedReadResult ReadFileUpTo(const std::string& path, std::size_t limit, std::string* content,
                               std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return BoundedReadResult::kFailed;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    *reason = std::strerror(EISDIR);
    return BoundedReadResult::kFailed;
  }
  std::string read;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR)
        continue;
      *reason = std::strerror(errno);
      ::close(fd);
      return BoundedReadResult::kFailed;
    }
    if (got == 0)
      break;
    if (read.size() + static_cast<std::size_t>(got) > limit) {
      ::close(fd);
      return BoundedReadResult::kTooLarge;
    }
    read.append(buffer.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  *content = std::move(read);
  return BoundedReadResult::kRead;
}

bool FileModifiedTime(const std::string& path, std::int64_t* seconds) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return false;
  *seconds = static_cast<std::int64_t>(info.st_mtime);
  return true;
}

bool WriteUniqueTemporary(const std::string& prefix, std::string_view content,
                          NewFileAccess access, std::string* temp_path, std::string* reason) {
  std::string name = prefix + "XXXXXX";
  std::vector<char> temp(name.begin(), name.end());
  temp.push_back('\0');
  // mkstemp creates the file readable by its owner only, so a private key
  // is never visible to others, not even while it is being written.
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  bool ok = access == NewFileAccess::kOwnerOnly || ::fchmod(fd, 0644) == 0;
  std::size_t written = 0;
  while (ok && written < content.size()) {
    const ssize_t put = ::write(fd, content.data() + written, content.size() - written);
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0) {
      ok = false;
      break;
    }
    written += static_cast<std::size_t>(put);
  }
  if (ok)
    ok = ::fsync(fd) == 0;
  const int saved_errno = errno;
  if (::close(fd) != 0 && ok)
    ok = false;
  if (!ok) {
    *reason = std::strerror(saved_errno != 0 ? saved_errno : EIO);
    ::unlink(temp.data());
    return false;
  }
  *temp_path = temp.data();
  return true;
}

}  // namespace gantrell
