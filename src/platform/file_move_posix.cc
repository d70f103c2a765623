#include "platform/file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/catalogue.h"

namespace gantrell {
namespace {

void SetError(std::string* error, const char* what, const std::string& path, int err) {
  if (error != nullptr)
    *error = Subst(Tr(what), {path, std::strerror(err)});
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

// Copies all of `in` to `out`; false with errno set on a failed read or write.
bool CopyAll(int in, int out, bool* read_failed) {
  char block[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, block, sizeof block);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      *read_failed = true;
      return false;
    }
    if (got == 0)
      return true;
    if (!WriteAll(out, block, static_cast<std::size_t>(got))) {
      if (errno == 0)
        errno = EIO;
      return false;
    }
  }
}

// rename() that never replaces: renameat2's flag where the file system
// has it, else a hard link (which fails on an existing name) and the
// removal of the old name, else a check just before the rename.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return -1;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST)
    return -1;
  if (PathExists(to)) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

}  // namespace

bool SyncParentFolder(const std::string& path) {
  const int folder = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0)
    return false;
  const bool synced = ::fsync(folder) == 0;
  ::close(folder);
  return synced;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

MoveResult RenameDurably(const std::string& from, const std::string& to, bool replace,
                         std::string* error) {
  const int renamed = replace ? ::rename(from.c_str(), to.c_str()) : RenameNoReplace(from, to);
  if (renamed != 0) {
    const int err = errno;
    if (!replace && err == EEXIST)
      return MoveResult::kExists;
    SetError(error, TrNoop("Cannot move to %1: %2"), to, err);
    errno = err;  // MoveFileDurably tells another file system by it
    return MoveResult::kFailed;
  }
  SyncParentFolder(to);
  if (ParentFolder(from) != ParentFolder(to))
    SyncParentFolder(from);
  return MoveResult::kMoved;
}

MoveResult MoveFileDurably(const std::string& source, const std::string& destination, bool replace,
                           std::string* error) {
  if (source.empty() || destination.empty()) {
    SetError(error, TrNoop("Cannot move to %1: %2"),
             destination.empty() ? Tr("an empty name") : destination, ENOENT);
    return MoveResult::kFailed;
  }
  const MoveResult renamed = RenameDurably(source, destination, replace, error);
  if (renamed != MoveResult::kFailed || errno != EXDEV)
    return renamed;

  // Another file system: the whole file is copied and on disk under a name
  // of its own before it takes the destination's name.
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetError(error, TrNoop("Cannot read %1: %2"), source, errno);
    return MoveResult::kFailed;
  }
  struct stat info;
  const mode_t mode = ::fstat(in, &info) == 0 ? (info.st_mode & 07777) : 0644;
  std::string pattern = destination + ".move-XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    SetError(error, TrNoop("Cannot write %1: %2"), destination, errno);
    ::close(in);
    return MoveResult::kFailed;
  }
  bool read_failed = false;
  errno = 0;
  bool copied = CopyAll(in, out, &read_failed);
  int failure = copied ? 0 : errno;
  if (copied && (::fchmod(out, mode) != 0 || ::fsync(out) != 0)) {
    copied = false;
    failure = errno;
  }
  if (::close(out) != 0 && copied) {
    copied = false;
    failure = errno;
  }
  ::close(in);
  if (!copied) {
    ::unlink(temp.data());
    SetError(error, read_failed ? TrNoop("Cannot read %1: %2") : TrNoop("Cannot write %1: %2"),
             read_failed ? source : destination, failure);
    return MoveResult::kFailed;
  }
  const MoveResult placed = RenameDurably(temp.data(), destination, replace, error);
  if (placed != MoveResult::kMoved) {
    ::unlink(temp.data());
    return placed;
  }
  std::remove(source.c_str());
  SyncParentFolder(source);
  return MoveResult::kMoved;
}

}  // namespace gantrell
