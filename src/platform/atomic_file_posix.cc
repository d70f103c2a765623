#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <vector>

#include "platform/atomic_file_backend.h"
#include "platform/catalogue.h"

namespace gantrell {

static_assert(std::is_same_v<mode_t, FileMode>);

namespace {

void SetError(std::string* error, std::string_view what, const std::string& path, int err) {
  if (error != nullptr) {
    *error = Subst(Tr(what), {path, std::strerror(err)});
  }
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The process's umask, read without changing it: umask() can only be read by
// setting it, which would race with other threads creating files.
mode_t CurrentUmask() {
  int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[4096];
    ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got > 0) {
      buffer[got] = '\0';
      if (const char* line = std::strstr(buffer, "Umask:")) {
        return static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
      }
    }
  }
  return 022;
}

FileStamp StampOf(const struct stat& info) {
  return FileStamp{true,
                   static_cast<unsigned long long>(info.st_dev),
                   static_cast<unsigned long long>(info.st_ino),
                   static_cast<unsigned long long>(info.st_size),
                   info.st_mtim.tv_sec,
                   info.st_mtim.tv_nsec,
                   info.st_ctim.tv_sec,
                   info.st_ctim.tv_nsec};
}

}  // namespace

namespace atomic_file_backend {

bool WriteTemporary(const std::string& path, std::string_view content, mode_t new_file_mode,
                    std::string* temp_path, std::string* error) {
  mode_t mode = new_file_mode;
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    mode &= ~CurrentUmask();
  }
  std::string pattern = path + ".tmpXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    SetError(error, TrNoop("Cannot write %1: %2"), path, errno);
    return false;
  }
  int failure = 0;
  if (!WriteAll(fd, content) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
    failure = errno;
  }
  if (::close(fd) != 0 && failure == 0) {
    failure = errno;
  }
  if (failure != 0) {
    ::unlink(name.data());
    SetError(error, TrNoop("Cannot write %1: %2"), path, failure);
    return false;
  }
  *temp_path = name.data();
  return true;
}

bool ReplaceByRename(const std::string& from, const std::string& to, std::string* reason) {
  if (::rename(from.c_str(), to.c_str()) == 0)
    return true;
  *reason = std::strerror(errno);
  return false;
}

bool Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool IsPlainFile(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void SyncFolderOf(const std::string& path) {
  // A rename or removal is only durable once the folder entry reaches the disk.
  int folder = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

bool ListNames(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return false;
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      names->push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace atomic_file_backend

bool CreateFolders(const std::string& folder, mode_t mode, std::string* error) {
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      return true;
    }
    SetError(error, TrNoop("Cannot create folder %1: %2"), folder, ENOTDIR);
    return false;
  }
  std::string parent = ParentFolder(folder);
  if (parent != folder && parent != "." && parent != "/" && !CreateFolders(parent, mode, error)) {
    return false;
  }
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
    SetError(error, TrNoop("Cannot create folder %1: %2"), folder, errno);
    return false;
  }
  return true;
}

FileStamp StampOfFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? StampOf(info) : FileStamp();
}

bool ReadWholeFile(const std::string& path, std::string* content, bool* missing, std::string* error,
                   FileStamp* info) {
  *missing = false;
  content->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      *missing = true;
    } else {
      SetError(error, TrNoop("Cannot read %1: %2"), path, errno);
    }
    return false;
  }
  if (info != nullptr) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
      SetError(error, TrNoop("Cannot read %1: %2"), path, errno);
      ::close(fd);
      return false;
    }
    *info = StampOf(status);
  }
  // A regular file's size is known: one allocation of it, rather than a
  // text that doubles (and copies) its way up to a store of many megabytes.
  struct stat own;
  if (::fstat(fd, &own) == 0 && S_ISREG(own.st_mode) && own.st_size > 0)
    content->reserve(static_cast<std::size_t>(own.st_size));
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      SetError(error, TrNoop("Cannot read %1: %2"), path, errno);
      ::close(fd);
      return false;
    }
    if (got == 0) {
      break;
    }
    content->append(buffer.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

}  // namespace gantrell
