#include "platform/file_move.h"

#include <windows.h>

#include "platform/atomic_file.h"
#include "platform/win32_files.h"
#include "platform/win32_text.h"

namespace gantrell {

namespace {

void SetError(std::string* error, const char* what, const std::string& path, unsigned long code) {
  if (error != nullptr)
    *error = std::string(what) + " " + path + ": " + SystemErrorText(code);
}

bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const bool got = ::GetFileInformationByHandle(file, info) != 0;
  ::CloseHandle(file);
  return got;
}

}  // namespace

// Renames are written through (MOVEFILE_WRITE_THROUGH); Windows has no way
// to flush a folder on its own, so this only checks that the folder is there.
bool SyncParentFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(ParentFolder(path)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::string& path) {
  return !path.empty() && ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsRegularFile(const std::string& path) {
  if (path.empty())
    return false;
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return IdentityOf(a, &ia) && IdentityOf(b, &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

MoveResult RenameDurably(const std::string& from, const std::string& to, bool replace,
                         std::string* error) {
  // Without MOVEFILE_REPLACE_EXISTING the rename itself refuses an existing
  // destination, in the same step. Without MOVEFILE_COPY_ALLOWED it refuses
  // another volume (ERROR_NOT_SAME_DEVICE), which MoveFileDurably handles.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (win32::MoveWithRetry(WidePath(from), WidePath(to), flags))
    return MoveResult::kMoved;
  const DWORD failure = ::GetLastError();
  if (!replace && (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS))
    return MoveResult::kExists;
  SetError(error, "Cannot move to", to, failure);
  ::SetLastError(failure);  // MoveFileDurably tells another volume by it
  return MoveResult::kFailed;
}

MoveResult MoveFileDurably(const std::string& source, const std::string& destination, bool replace,
                           std::string* error) {
  if (source.empty() || destination.empty()) {
    SetError(error, "Cannot move to", destination.empty() ? "an empty name" : destination,
             ERROR_FILE_NOT_FOUND);
    return MoveResult::kFailed;
  }
  const MoveResult renamed = RenameDurably(source, destination, replace, error);
  if (renamed != MoveResult::kFailed || ::GetLastError() != ERROR_NOT_SAME_DEVICE)
    return renamed;
  // Another volume: the whole file is copied and flushed under a name of its
  // own before it takes the destination's name.
  if (!replace && PathExists(destination))
    return MoveResult::kExists;
  const std::string temp = destination + ".move-" + win32::UniqueSuffix();
  if (!::CopyFileW(WidePath(source).c_str(), WidePath(temp).c_str(), TRUE)) {
    const DWORD failure = ::GetLastError();
    ::DeleteFileW(WidePath(temp).c_str());
    SetError(error, "Cannot write", destination, failure);
    return MoveResult::kFailed;
  }
  HANDLE copy = ::CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool flushed = copy != INVALID_HANDLE_VALUE && ::FlushFileBuffers(copy);
  const DWORD flush_failure = ::GetLastError();
  if (copy != INVALID_HANDLE_VALUE)
    ::CloseHandle(copy);
  if (!flushed) {
    ::DeleteFileW(WidePath(temp).c_str());
    SetError(error, "Cannot write", destination, flush_failure);
    return MoveResult::kFailed;
  }
  const MoveResult placed = RenameDurably(temp, destination, replace, error);
  if (placed != MoveResult::kMoved) {
    ::DeleteFileW(WidePath(temp).c_str());
    return placed;
  }
  ::DeleteFileW(WidePath(source).c_str());
  return MoveResult::kMoved;
}

}  // namespace gantrell
