#include "tool_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gantrell::publish {

namespace {

std::string Describe(const char* action, const std::string& path, int error_number) {
  return std::string("cannot ") + action + " '" + path + "': " + std::strerror(error_number);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* content, std::string* error,
                   std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = Describe("read", path, errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    *error = Describe("read", path, EISDIR);
    return false;
  }
  content->clear();
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR)
        continue;
      *error = Describe("read", path, errno);
      ::close(fd);
      return false;
    }
    if (got == 0)
      break;
    if (content->size() + static_cast<std::size_t>(got) > limit) {
      *error = "cannot read '" + path + "': larger than " + std::to_string(limit) + " bytes";
      ::close(fd);
      return false;
    }
    content->append(buffer.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
    return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool MoveFile(const std::string& from, const std::string& to, std::string* error) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    *error = "cannot move '" + from + "' to '" + to + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

PendingFile::~PendingFile() {
  if (!m_tempPath.empty())
    ::unlink(m_tempPath.c_str());
}

bool PendingFile::Prepare(const std::string& path, std::string_view content, Access access,
                          std::string* error) {
  m_path = path;
  std::string name = path + ".tmp-XXXXXX";
  std::vector<char> temp(name.begin(), name.end());
  temp.push_back('\0');
  // mkstemp creates the file readable by its owner only, so a private key
  // is never visible to others, not even while it is being written.
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    *error = Describe("write", path, errno);
    return false;
  }
  m_tempPath = temp.data();
  bool ok = access == Access::kOwnerOnly || ::fchmod(fd, 0644) == 0;
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
    *error = Describe("write", path, saved_errno != 0 ? saved_errno : EIO);
    ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    return false;
  }
  return true;
}

bool PendingFile::Commit(bool replace, std::string* error) {
  if (m_tempPath.empty()) {
    *error = "internal error: '" + m_path + "' was not prepared";
    return false;
  }
  if (!replace && PathExists(m_path)) {
    *error = "'" + m_path + "' already exists";
    return false;
  }
  if (!MoveFile(m_tempPath, m_path, error))
    return false;
  m_tempPath.clear();
  return true;
}

}  // namespace gantrell::publish
