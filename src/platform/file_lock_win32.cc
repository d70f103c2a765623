#include "platform/file_lock.h"

#include <windows.h>

#include "platform/win32_files.h"
#include "platform/win32_handle.h"
#include "platform/win32_text.h"

namespace gantrell {

namespace {

// The lock file is shared for reading and writing (the holder writes its
// note, others read it) and for removal.
HANDLE OpenLockFile(const std::string& lock_path) {
  return ::CreateFileW(WidePath(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// LockFileEx locks belong to the handle, so two FileLock objects in one
// process exclude each other as well as other processes. The first byte
// far beyond any note is locked, so that the note itself stays readable.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

bool LockHandle(HANDLE file, bool wait) {
  OVERLAPPED where{};
  where.OffsetHigh = kLockOffsetHigh;
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  return ::LockFileEx(file, flags, 0, 1, 0, &where) != 0;
}

}  // namespace

bool FileLock::Lock(const std::string& lock_path, std::string* error) {
  Unlock();
  HANDLE file = OpenLockFile(lock_path);
  if (file == INVALID_HANDLE_VALUE) {
    *error = OpenFailure(lock_path, LastErrorText());
    return false;
  }
  if (!LockHandle(file, true)) {
    *error = LockFailure(lock_path, LastErrorText());
    ::CloseHandle(file);
    return false;
  }
  handle_ = win32::FromHandle(file);
  return true;
}

FileLock::TryResult FileLock::TryLock(const std::string& lock_path, std::string* error) {
  Unlock();
  HANDLE file = OpenLockFile(lock_path);
  if (file == INVALID_HANDLE_VALUE) {
    *error = OpenFailure(lock_path, LastErrorText());
    return TryResult::kFailed;
  }
  if (LockHandle(file, false)) {
    handle_ = win32::FromHandle(file);
    return TryResult::kTaken;
  }
  const DWORD failure = ::GetLastError();
  ::CloseHandle(file);
  if (failure == ERROR_LOCK_VIOLATION || failure == ERROR_IO_PENDING)
    return TryResult::kBusy;
  *error = LockFailure(lock_path, SystemErrorText(failure));
  return TryResult::kFailed;
}

bool FileLock::WriteNote(const std::string& note) {
  if (!handle_.valid())
    return false;
  HANDLE file = win32::ToHandle(handle_);
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file))
    return false;
  return win32::WriteAll(file, note);
}

std::string FileLock::ReadNote(const std::string& lock_path) {
  HANDLE file = win32::OpenForReading(lock_path);
  if (file == INVALID_HANDLE_VALUE)
    return {};
  // A note is a line or two; anything longer is not one of ours.
  char buffer[4096];
  std::string note;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr) || got == 0)
      break;
    note.append(buffer, got);
    if (note.size() > sizeof buffer) {
      note.clear();
      break;
    }
  }
  ::CloseHandle(file);
  return note;
}

void FileLock::Unlock() {
  if (handle_.valid()) {
    ::CloseHandle(win32::ToHandle(handle_));  // closing the handle releases the lock
    handle_ = NativeHandle();
  }
}

}  // namespace gantrell
