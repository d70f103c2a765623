#include "platform/atomic_file.h"

#include <windows.h>

#include <vector>

#include "platform/atomic_file_backend.h"
#include "platform/catalogue.h"
#include "platform/win32_files.h"
#include "platform/win32_text.h"

namespace gantrell {

namespace {

void SetError(std::string* error, std::string_view what, const std::string& path,
              unsigned long code) {
  if (error != nullptr)
    *error = Subst(Tr(what), {path, SystemErrorText(code)});
}

FileStamp StampOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info))
    return FileStamp();
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  win32::FileTimeToUnix(info.ftLastWriteTime, &stamp.mtime_sec, &stamp.mtime_nsec);
  // The change time of the file's metadata, where the file system keeps one.
  FILE_BASIC_INFO basic;
  if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    FILETIME change;
    change.dwLowDateTime = static_cast<DWORD>(basic.ChangeTime.QuadPart);
    change.dwHighDateTime = static_cast<DWORD>(basic.ChangeTime.QuadPart >> 32);
    win32::FileTimeToUnix(change, &stamp.ctime_sec, &stamp.ctime_nsec);
  }
  return stamp;
}

}  // namespace

namespace atomic_file_backend {

// Windows keeps permissions in access lists that a new file inherits from
// its folder; `new_file_mode` has nothing to map to.
bool WriteTemporary(const std::string& path, std::string_view content, FileMode,
                    std::string* temp_path, std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = path + ".tmp" + win32::UniqueSuffix();
    HANDLE file = ::CreateFileW(WidePath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD failure = ::GetLastError();
      if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS)
        continue;
      SetError(error, TrNoop("Cannot write %1: %2"), path, failure);
      return false;
    }
    DWORD failure = 0;
    if (!win32::WriteAll(file, content) || !::FlushFileBuffers(file))
      failure = ::GetLastError();
    if (!::CloseHandle(file) && failure == 0)
      failure = ::GetLastError();
    if (failure != 0) {
      ::DeleteFileW(WidePath(name).c_str());
      SetError(error, TrNoop("Cannot write %1: %2"), path, failure);
      return false;
    }
    *temp_path = name;
    return true;
  }
  SetError(error, TrNoop("Cannot write %1: %2"), path, ERROR_FILE_EXISTS);
  return false;
}

bool ReplaceByRename(const std::string& from, const std::string& to, std::string* reason) {
  // The new content was flushed before; MOVEFILE_WRITE_THROUGH returns only
  // once the rename itself is on disk, which is what flushing the folder
  // does elsewhere.
  if (win32::MoveWithRetry(WidePath(from), WidePath(to),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *reason = LastErrorText();
  return false;
}

bool Remove(const std::string& path) {
  return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsPlainFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Renames are written through (ReplaceByRename); Windows cannot flush a
// folder on its own.
void SyncFolderOf(const std::string&) {}

bool ListNames(const std::string& folder, std::vector<std::string>* names) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((WidePath(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty folder
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names->push_back(Narrow(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return true;
}

}  // namespace atomic_file_backend

bool CreateFolders(const std::string& folder, FileMode mode, std::string* error) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return true;
    SetError(error, TrNoop("Cannot create folder %1: %2"), folder, ERROR_DIRECTORY);
    return false;
  }
  const std::string parent = ParentFolder(folder);
  // "C:" and "\\server\share" are no folders to make.
  const bool is_root = parent.size() <= 2 || parent == folder || parent == "." || parent == "/";
  if (!is_root && !CreateFolders(parent, mode, error))
    return false;
  if (!::CreateDirectoryW(WidePath(folder).c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    SetError(error, TrNoop("Cannot create folder %1: %2"), folder, ::GetLastError());
    return false;
  }
  return true;
}

FileStamp StampOfFile(const std::string& path) {
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return FileStamp();
  const FileStamp stamp = StampOfHandle(file);
  ::CloseHandle(file);
  return stamp;
}

bool ReadWholeFile(const std::string& path, std::string* content, bool* missing, std::string* error,
                   FileStamp* info) {
  *missing = false;
  content->clear();
  HANDLE file = win32::OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = ::GetLastError();
    if (win32::IsMissingError(failure))
      *missing = true;
    else
      SetError(error, TrNoop("Cannot read %1: %2"), path, failure);
    return false;
  }
  if (info != nullptr) {
    *info = StampOfHandle(file);
    if (!info->exists) {
      SetError(error, TrNoop("Cannot read %1: %2"), path, ::GetLastError());
      ::CloseHandle(file);
      return false;
    }
  }
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      SetError(error, TrNoop("Cannot read %1: %2"), path, ::GetLastError());
      ::CloseHandle(file);
      return false;
    }
    if (got == 0)
      break;
    content->append(buffer.data(), got);
  }
  ::CloseHandle(file);
  return true;
}

}  // namespace gantrell
