#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace gantrell {

PathKind KindOfPath(const std::string& path, std::string* error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    if (error != nullptr)
      *error = std::strerror(errno);
    return PathKind::kMissing;
  }
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool IsFolder(const std::string& path) {
  return !path.empty() && KindOfPath(path) == PathKind::kFolder;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

RemoveFolderResult RemoveEmptyFolder(const std::string& path) {
  if (::rmdir(path.c_str()) == 0)
    return RemoveFolderResult::kRemoved;
  return errno == ENOENT ? RemoveFolderResult::kMissing : RemoveFolderResult::kFailed;
}

bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      names->push_back(name);
  }
  ::closedir(dir);
  return true;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

}  // namespace gantrell
