#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/file_move.h"
#include "platform/standard_folders.h"
#include "platform/trash.h"

namespace gantrell {
namespace {

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr)
    *error = text;
}

bool IsRealFolder(const std::string& path, struct stat* info) {
  return ::lstat(path.c_str(), info) == 0 && S_ISDIR(info->st_mode);
}

// The top folder of the file system that holds `folder`: the last one on
// the way up that is still on the same device.
std::string TopFolder(const std::string& folder, dev_t device) {
  std::string top = folder;
  while (top != "/") {
    const std::string parent = ParentFolder(top);
    struct stat info;
    if (::stat(parent.c_str(), &info) != 0 || info.st_dev != device)
      break;
    top = parent;
  }
  return top;
}

// Percent-encoding of a path for the "Path=" line: every byte but letters,
// digits, "/" and "-_.!~*'()" is written as %XX.
std::string EncodePath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::strchr("/-_.!~*'()", c) != nullptr) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Makes "files" and "info" in `trash` (and `trash` itself), private to the
// user; true when both are folders afterwards.
bool PrepareTrash(const std::string& trash) {
  struct stat info;
  for (const std::string& folder : {trash, trash + "/files", trash + "/info"}) {
    if (!IsRealFolder(folder, &info) && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      return false;
    if (!IsRealFolder(folder, &info))
      return false;
  }
  return true;
}

// The trash for a file in `folder` (device `device`) other than the home
// trash, with the prefix its records' paths are given relative to; empty
// when the file system has none and one cannot be made.
std::string TopTrash(const std::string& folder, dev_t device, std::string* top) {
  *top = TopFolder(folder, device);
  const std::string base = *top == "/" ? std::string() : *top;
  const std::string uid = std::to_string(::getuid());
  struct stat info;
  // An administrator's shared ".Trash" counts only with its sticky bit, so
  // that users cannot take each other's files out of it.
  const std::string shared = base + "/.Trash";
  if (IsRealFolder(shared, &info) && (info.st_mode & S_ISVTX) != 0 &&
      PrepareTrash(shared + "/" + uid)) {
    return shared + "/" + uid;
  }
  const std::string own = base + "/.Trash-" + uid;
  if (PrepareTrash(own) && ::lstat(own.c_str(), &info) == 0 && info.st_uid == ::getuid())
    return own;
  return {};
}

}  // namespace

FreedesktopTrash::FreedesktopTrash(std::string home_trash)
    : m_strHomeTrash(home_trash.empty() && !DataHome().empty() ? DataHome() + "/Trash"
                                                               : std::move(home_trash)) {}

bool FreedesktopTrash::MoveToTrash(const std::string& path, std::string* where,
                                   std::string* error) {
  struct stat file;
  if (path.empty() || path.front() != '/' || ::lstat(path.c_str(), &file) != 0) {
    SetError(error, Subst(Tr("no file at %1"), {path}));
    return false;
  }
  const std::string folder = ParentFolder(path);
  // The home trash takes the files of its own file system, told by the
  // nearest folder of its path that exists already.
  std::string near = m_strHomeTrash;
  struct stat home;
  while (!near.empty() && near != "/" && ::stat(near.c_str(), &home) != 0)
    near = ParentFolder(near);
  const bool home_device =
      !m_strHomeTrash.empty() && ::stat(near.c_str(), &home) == 0 && home.st_dev == file.st_dev;
  std::string trash;
  std::string record_path = path;
  if (home_device) {
    if (PrepareTrash(m_strHomeTrash))
      trash = m_strHomeTrash;
  } else {
    std::string top;
    trash = TopTrash(folder, file.st_dev, &top);
    if (!trash.empty() && top != "/")
      record_path = path.substr(top.size() + 1);
    else if (!trash.empty())
      record_path = path.substr(1);
  }
  if (trash.empty()) {
    SetError(error, Subst(Tr("there is no trash on the file system of %1"), {path}));
    return false;
  }

  const std::size_t slash = path.rfind('/');
  const std::string name = path.substr(slash + 1);
  const std::string record = "[Trash Info]\nPath=" + EncodePath(record_path) +
                             "\nDeletionDate=" + DeletionDate() + "\n";
  // The record is made first, exclusively: its name reserves the file's.
  for (int n = 1; n < 10000; ++n) {
    const std::string taken = n == 1 ? name : name + "." + std::to_string(n);
    const std::string info = trash + "/info/" + taken + ".trashinfo";
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST)
      continue;
    if (fd < 0) {
      SetError(error, Subst(Tr("cannot write in the trash %1: %2"), {trash, std::strerror(errno)}));
      return false;
    }
    const bool written = ::write(fd, record.data(), record.size()) ==
                             static_cast<ssize_t>(record.size()) &&
                         ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
      ::unlink(info.c_str());
      SetError(error, Subst(Tr("cannot write in the trash %1"), {trash}));
      return false;
    }
    std::string move_error;
    const MoveResult moved = RenameDurably(path, trash + "/files/" + taken, false, &move_error);
    if (moved != MoveResult::kMoved) {
      ::unlink(info.c_str());
      if (moved == MoveResult::kExists)
        continue;  // a file without its record holds the name
      SetError(error, move_error);
      return false;
    }
    SyncParentFolder(info);
    if (where != nullptr)
      *where = trash;
    return true;
  }
  SetError(error, Subst(Tr("the trash %1 has no free name for %2"), {trash, name}));
  return false;
}

std::unique_ptr<Trash> MakeSystemTrash() {
  return std::make_unique<FreedesktopTrash>();
}

}  // namespace gantrell
