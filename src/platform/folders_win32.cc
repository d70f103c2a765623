#include "platform/folders.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace gantrell {

PathKind KindOfPath(const std::string& path, std::string* error) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (error != nullptr)
      *error = LastErrorText();
    return PathKind::kMissing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kOther;
}

bool IsFolder(const std::string& path) {
  return !path.empty() && KindOfPath(path) == PathKind::kFolder;
}

bool MakeFolder(const std::string& path) {
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

RemoveFolderResult RemoveEmptyFolder(const std::string& path) {
  if (::RemoveDirectoryW(WidePath(path).c_str()))
    return RemoveFolderResult::kRemoved;
  const DWORD failure = ::GetLastError();
  return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND
             ? RemoveFolderResult::kMissing
             : RemoveFolderResult::kFailed;
}

bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((WidePath(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return false;  // even an empty folder lists "." and ".."
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names->push_back(Narrow(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return true;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

}  // namespace gantrell
