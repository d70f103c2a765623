#include "app/save_location_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/client_app.h"
#include "model/store_format.h"

namespace gantrell {
namespace {

constexpr std::size_t kCopyBlock = 512;

// Closes the descriptor when it goes.
class FileHandle {
 public:
  explicit FileHandle(int fd) : m_fd(fd) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return m_fd; }
  bool ok() const { return m_fd >= 0; }
  // False when closing reports a failure (a write that did not reach the
  // disk).
  bool Close() {
    if (m_fd < 0)
      return true;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    return closed;
  }

 private:
  int m_fd;
};

bool WriteAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, data, count);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies until a read returns nothing; false on a failed read or write.
bool CopyBlocks(int from, int to) {
  char block[kCopyBlock];
  for (;;) {
    const ssize_t got = ::read(from, block, sizeof block);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (got == 0)
      return true;
    if (!WriteAll(to, block, static_cast<std::size_t>(got)))
      return false;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string SaveLocationCaption(const CUpdateItem& item) {
  return "Choose location for item " + item.m_strName;
}

SaveDialogProposal ProposeSaveDialog(const CUpdateItem& item) {
  SaveDialogProposal proposal;
  const std::string& location = item.m_strLocation;
  // Locations name their folders with either separator. A "." in a folder
  // name ("v1.2/tool") is no extension: as one it would become a filter
  // and a suffix holding a folder.
  const std::size_t slash = location.find_last_of("\\/");
  if (const std::size_t dot = location.rfind('.');
      dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    proposal.extension = location.substr(dot);
  }
  if (slash != std::string::npos && slash + 1 < location.size())
    proposal.file_name = location.substr(slash + 1);
  proposal.filter_label = "Existing type (*" + proposal.extension + ")";
  proposal.filter_pattern = "*" + proposal.extension;
  return proposal;
}

MoveOutcome MoveSaveLocation(CClientApp& app, CUpdateItem& item, const std::string& new_path) {
  // The store would give a longer path back cut short, and the item would
  // lose track of its file.
  if (new_path.size() > kStoredSavePathLimit) {
    app.Message("The path is too long: a location may have at most " +
                    std::to_string(kStoredSavePathLimit) + " characters.",
                MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  const std::string default_path =
      new_path.empty() || item.m_strSavePath.empty() ? app.GetItemSavePath(item) : std::string();
  const std::string destination = new_path.empty() ? default_path : new_path;
  const std::string source = item.m_strSavePath.empty() ? default_path : item.m_strSavePath;
  if (destination == source)
    return MoveOutcome::kUnchanged;

  FileHandle in(source.empty() ? -1 : ::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) {
    // Nothing on disk yet: only the path changes.
    item.m_strSavePath = new_path;
    app.SaveChanges();
    return MoveOutcome::kDone;
  }
  // Two spellings of one file ("a//b" and "a/b"): copying would truncate
  // the file onto itself, so only the path changes.
  if (SameFile(source, destination)) {
    item.m_strSavePath = new_path;
    app.SaveChanges();
    return MoveOutcome::kDone;
  }
  if (Exists(destination)) {
    Frontend* frontend = app.frontend();
    if (frontend == nullptr ||
        frontend->ShowMessage("File already exists at " + destination + ". Overwrite?",
                              MessageIcon::kQuestion,
                              MessageButtons::kYesNo) != MessageAnswer::kYes) {
      return MoveOutcome::kDeclined;
    }
  }
  FileHandle out(destination.empty()
                     ? -1
                     : ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!out.ok()) {
    app.Message("Canot write to specified location", MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  const bool copied = CopyBlocks(in.get(), out.get());
  const bool closed = out.Close();
  in.Close();
  if (!copied || !closed) {
    std::remove(destination.c_str());
    app.Message("Unable to copy file.", MessageIcon::kError);
    return MoveOutcome::kFailed;
  }
  std::remove(source.c_str());
  item.m_strSavePath = new_path;
  app.SaveChanges();
  return MoveOutcome::kDone;
}

}  // namespace gantrell
