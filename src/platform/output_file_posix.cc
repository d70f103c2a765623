#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_handle.h"

namespace gantrell {

using posix::Fd;

OutputFile::~OutputFile() {
  if (is_open())
    ::close(Fd(handle_));
}

OutputFile::CreateResult OutputFile::CreateNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0)
    return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  handle_ = posix::FromFd(fd);
  return CreateResult::kCreated;
}

bool OutputFile::OpenToContinue(const std::string& path, std::int64_t offset) {
  if (is_open() || offset < 0)
    return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0)
    return false;
  if (::ftruncate(fd, static_cast<off_t>(offset)) != 0 ||
      ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
    ::close(fd);
    return false;
  }
  handle_ = posix::FromFd(fd);
  return true;
}

bool OutputFile::SetDirect(bool on) {
#ifdef O_DIRECT
  const int fd = Fd(handle_);
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
#else
  (void)on;
  return false;
#endif
}

std::int64_t OutputFile::Write(const char* bytes, std::size_t count, bool* bad_request) {
  *bad_request = false;
  for (;;) {
    const ssize_t done = ::write(Fd(handle_), bytes, count);
    if (done < 0 && errno == EINTR)
      continue;
    if (done < 0)
      *bad_request = errno == EINVAL;
    return done;
  }
}

void OutputFile::StartWriteBack(std::int64_t offset, std::int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  ::sync_file_range(Fd(handle_), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)offset;
  (void)length;
#endif
}

bool OutputFile::Sync() {
  return ::fsync(Fd(handle_)) == 0;
}

bool OutputFile::Close() {
  const bool ok = ::close(Fd(handle_)) == 0;
  handle_ = NativeHandle();
  return ok;
}

}  // namespace gantrell
