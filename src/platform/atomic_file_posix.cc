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

bool ReadWholeFile(const std::string& path, std::string* content, bool* missing, std::string* error,
                   struct stat* info) {
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
  if (info != nullptr && ::fstat(fd, info) != 0) {
    SetError(error, TrNoop("Cannot read %1: %2"), path, errno);
    ::close(fd);
    return false;
  }
  // A regular file's size is known: one allocation of it, rather than a
  // text that doubles (and copies) its way up to a store of many megabytes.
  struct stat own;
  const struct stat* described = info;
  if (described == nullptr && ::fstat(fd, &own) == 0)
    described = &own;
  if (described != nullptr && S_ISREG(described->st_mode) && described->st_size > 0)
    content->reserve(static_cast<std::size_t>(described->st_size));
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

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error) {
  return WriteFileAtomically(path, content, error, 0644);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error,
                         mode_t new_file_mode) {
  return WriteFilesAtomically({FileContent{path, std::string(content)}}, error, new_file_mode);
}

namespace {

// The journal of a write of several files: beside the first file, named
// after it, listing each temporary file and the file it becomes.
std::string JournalPath(const std::string& first_path) {
  const std::string folder = ParentFolder(first_path);
  const std::size_t slash = first_path.find_last_of('/');
  const std::string name = slash == std::string::npos ? first_path : first_path.substr(slash + 1);
  return folder + "/." + name + ".commit";
}

void SyncFolder(const std::string& path) {
  // A rename or removal is only durable once the folder entry reaches the disk.
  int folder = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

// Renames every temporary file of the journal that is still there into
// place, then removes the journal.
void RollForward(const std::string& journal_path, const std::string& journal) {
  std::size_t start = 0;
  while (start < journal.size()) {
    std::size_t end = journal.find('\n', start);
    if (end == std::string::npos) end = journal.size();
    const std::string line = journal.substr(start, end - start);
    start = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string temp = line.substr(0, tab);
    const std::string final_path = line.substr(tab + 1);
    if (::access(temp.c_str(), F_OK) == 0 && ::rename(temp.c_str(), final_path.c_str()) != 0) {
      ::unlink(temp.c_str());
    }
  }
  SyncFolder(journal_path);
  ::unlink(journal_path.c_str());
  SyncFolder(journal_path);
}

}  // namespace

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
  if (files.empty()) return true;

  // Several files that belong together become new together: a journal of
  // the renames is committed first, so a crash between two renames is
  // completed by CompleteInterruptedWrite at the next start.
  std::string journal_path;
  std::string journal;
  if (files.size() > 1) {
    journal_path = JournalPath(files[0].path);
    for (std::size_t i = 0; i < files.size(); ++i) journal += temps[i] + "\t" + files[i].path + "\n";
    std::string journal_temp;
    if (!WriteTemporary(journal_path, journal, 0600, &journal_temp, error) ||
        ::rename(journal_temp.c_str(), journal_path.c_str()) != 0) {
      if (!journal_temp.empty()) ::unlink(journal_temp.c_str());
      for (const std::string& written : temps) ::unlink(written.c_str());
      SetError(error, TrNoop("Cannot write %1: %2"), journal_path, errno);
      return false;
    }
    SyncFolder(journal_path);
  }

  for (std::size_t i = 0; i < files.size(); ++i) {
    if (::rename(temps[i].c_str(), files[i].path.c_str()) != 0) {
      const int failure = errno;
      if (i == 0) {
        // Nothing is replaced yet: give the whole write up, originals intact.
        for (const std::string& written : temps) ::unlink(written.c_str());
        if (!journal_path.empty()) ::unlink(journal_path.c_str());
      } else {
        // Some files are new already: finish what can be finished rather
        // than leave them half old, half new.
        RollForward(journal_path, journal);
      }
      SetError(error, TrNoop("Cannot write %1: %2"), files[i].path, failure);
      return false;
    }
    SyncFolder(files[i].path);
  }
  if (!journal_path.empty()) {
    ::unlink(journal_path.c_str());
    SyncFolder(journal_path);
  }
  return true;
}

void CompleteInterruptedWrite(const std::string& first_path) {
  const std::string journal_path = JournalPath(first_path);
  std::string journal;
  bool missing = false;
  if (ReadWholeFile(journal_path, &journal, &missing, nullptr)) RollForward(journal_path, journal);
}

}  // namespace gantrell

namespace gantrell {
namespace {

// The name of `path` within its folder.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when `name` is `base` followed by ".tmp" and the six letters or
// digits that mkostemp puts in place of its XXXXXX.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
  constexpr std::string_view kSuffix = ".tmp";
  constexpr std::size_t kRandomLength = 6;
  if (name.size() != base.size() + kSuffix.size() + kRandomLength ||
      name.compare(0, base.size(), base) != 0 ||
      name.compare(base.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  for (std::size_t i = base.size() + kSuffix.size(); i < name.size(); ++i) {
    const char c = name[i];
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum)
      return false;
  }
  return true;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = ParentFolder(path);
  const std::string bases[] = {BaseName(path), BaseName(JournalPath(path))};
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return 0;
  std::vector<std::string> stale;
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    for (const std::string& base : bases) {
      if (IsTemporaryOf(name, base)) {
        stale.push_back(folder + "/" + name);
        break;
      }
    }
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& file : stale) {
    struct stat info;
    // Only plain files: a folder or link of that name is not ours.
    if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(file.c_str()) == 0)
      ++removed;
  }
  if (removed > 0)
    SyncFolder(path);
  return removed;
}

}  // namespace gantrell
