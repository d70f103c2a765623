#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <vector>

namespace gantrell {
namespace {

void SetError(std::string* error, std::string_view what, const std::string& path, int err) {
  if (error != nullptr) {
    *error = std::string(what) + " " + path + ": " + std::strerror(err);
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

// Writes `content` to a new temporary file beside `path`, with the mode the
// final file is to have, and flushes it to disk.
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
    SetError(error, "Cannot write", path, errno);
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
    SetError(error, "Cannot write", path, failure);
    return false;
  }
  *temp_path = name.data();
  return true;
}

}  // namespace

std::string ParentFolder(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  if (slash == 0) {
    return "/";
  }
  return path.substr(0, slash);
}

bool CreateFolders(const std::string& folder, mode_t mode, std::string* error) {
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      return true;
    }
    SetError(error, "Cannot create folder", folder, ENOTDIR);
    return false;
  }
  std::string parent = ParentFolder(folder);
  if (parent != folder && parent != "." && parent != "/" && !CreateFolders(parent, mode, error)) {
    return false;
  }
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
    SetError(error, "Cannot create folder", folder, errno);
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* content, bool* missing, std::string* error,
                   struct stat* info) {
  *missing = false;
  content->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      *missing = true;
    } else {
      SetError(error, "Cannot read", path, errno);
    }
    return false;
  }
  if (info != nullptr && ::fstat(fd, info) != 0) {
    SetError(error, "Cannot read", path, errno);
    ::close(fd);
    return false;
  }
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      SetError(error, "Cannot read", path, errno);
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

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error) {
  return WriteFileAtomically(path, content, error, 0644);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error,
                         mode_t new_file_mode) {
  return WriteFilesAtomically({FileContent{path, std::string(content)}}, error, new_file_mode);
}

bool WriteFilesAtomically(const std::vector<FileContent>& files, std::string* error,
                          mode_t new_file_mode) {
  // Every file is written and flushed under a temporary name first, so a
  // failure on any of them leaves all the originals untouched.
  std::vector<std::string> temps;
  for (const FileContent& file : files) {
    std::string temp;
    if (!WriteTemporary(file.path, file.content, new_file_mode, &temp, error)) {
      for (const std::string& written : temps) {
        ::unlink(written.c_str());
      }
      return false;
    }
    temps.push_back(temp);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (::rename(temps[i].c_str(), files[i].path.c_str()) != 0) {
      SetError(error, "Cannot write", files[i].path, errno);
      for (std::size_t j = i; j < temps.size(); ++j) {
        ::unlink(temps[j].c_str());
      }
      return false;
    }
    // The rename is only durable once the folder entry itself reaches the disk.
    int folder = ::open(ParentFolder(files[i].path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  return true;
}

}  // namespace gantrell
