#include "platform/output_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32_handle.h"
#include "platform/win32_text.h"

namespace gantrell {

using win32::ToHandle;

OutputFile::~OutputFile() {
  if (is_open())
    ::CloseHandle(ToHandle(handle_));
}

OutputFile::CreateResult OutputFile::CreateNew(const std::string& path) {
  // Readers may look at the part file while it grows.
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = ::GetLastError();
    return failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS
               ? CreateResult::kExists
               : CreateResult::kFailed;
  }
  handle_ = win32::FromHandle(file);
  return CreateResult::kCreated;
}

bool OutputFile::OpenToContinue(const std::string& path, std::int64_t offset) {
  if (is_open() || offset < 0)
    return false;
  // A reparse point is opened as itself, not followed, as O_NOFOLLOW does.
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER at;
  at.QuadPart = offset;
  // Bytes past the kept length are cut off, and writing goes on from there.
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    ::CloseHandle(file);
    return false;
  }
  handle_ = win32::FromHandle(file);
  return true;
}

// Writing around the cache (FILE_FLAG_NO_BUFFERING) can only be chosen when
// a file is opened, not turned on and off while it is written.
bool OutputFile::SetDirect(bool on) {
  return !on;
}

std::int64_t OutputFile::Write(const char* bytes, std::size_t count, bool* bad_request) {
  *bad_request = false;
  DWORD written = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
  if (!::WriteFile(ToHandle(handle_), bytes, chunk, &written, nullptr)) {
    *bad_request = ::GetLastError() == ERROR_INVALID_PARAMETER;
    return -1;
  }
  return written;
}

// Windows writes the cache back on its own; there is no request to start it.
void OutputFile::StartWriteBack(std::int64_t, std::int64_t) {}

bool OutputFile::Sync() {
  return ::FlushFileBuffers(ToHandle(handle_)) != 0;
}

bool OutputFile::Close() {
  const bool ok = ::CloseHandle(ToHandle(handle_)) != 0;
  handle_ = NativeHandle();
  return ok;
}

}  // namespace gantrell
