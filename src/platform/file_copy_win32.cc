#include "platform/file_copy.h"

#include <windows.h>

#include "platform/win32_files.h"
#include "platform/win32_text.h"

namespace gantrell {

namespace {

void SetError(std::string* error, const std::string& what, const std::string& path,
              unsigned long code) {
  if (error != nullptr)
    *error = what + " " + path + ": " + SystemErrorText(code);
}

// Reads up to `size` bytes, resuming short reads, so that only the end of
// the file gives fewer. False on an error.
bool ReadBlock(HANDLE file, char* buffer, std::size_t size, std::size_t* got) {
  *got = 0;
  while (*got < size) {
    DWORD n = 0;
    if (!::ReadFile(file, buffer + *got, static_cast<DWORD>(size - *got), &n, nullptr))
      return false;
    if (n == 0)
      break;
    *got += n;
  }
  return true;
}

}  // namespace

bool CopyFileInBlocks(const std::string& source, const std::string& destination, std::string* error,
                      const std::function<void(std::size_t)>& on_read) {
  if (destination.empty()) {
    SetError(error, "Cannot copy to", "an empty name", ERROR_FILE_NOT_FOUND);
    return false;
  }
  HANDLE in = win32::OpenForReading(source);
  if (in == INVALID_HANDLE_VALUE) {
    SetError(error, "Cannot read", source, ::GetLastError());
    return false;
  }
  HANDLE out = INVALID_HANDLE_VALUE;
  std::string temp;
  for (int attempt = 0; attempt < 100 && out == INVALID_HANDLE_VALUE; ++attempt) {
    temp = destination + ".copy" + win32::UniqueSuffix();
    out = ::CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
      break;
  }
  if (out == INVALID_HANDLE_VALUE) {
    SetError(error, "Cannot write", destination, ::GetLastError());
    ::CloseHandle(in);
    return false;
  }
  DWORD failure = 0;
  std::string failed_path = source;
  char block[kCopyBlockSize];
  for (;;) {
    std::size_t got = 0;
    if (!ReadBlock(in, block, sizeof block, &got)) {
      failure = ::GetLastError();
      break;
    }
    if (on_read)
      on_read(got);
    if (!win32::WriteAll(out, std::string_view(block, got))) {
      failure = ::GetLastError() != 0 ? ::GetLastError() : ERROR_WRITE_FAULT;
      failed_path = destination;
      break;
    }
    if (got < sizeof block)
      break;
  }
  if (failure == 0 && !::FlushFileBuffers(out)) {
    failure = ::GetLastError();
    failed_path = destination;
  }
  if (!::CloseHandle(out) && failure == 0) {
    failure = ::GetLastError();
    failed_path = destination;
  }
  ::CloseHandle(in);
  // Only a complete copy takes the destination's name.
  if (failure == 0 &&
      !win32::MoveWithRetry(WidePath(temp), WidePath(destination),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = ::GetLastError();
    failed_path = destination;
  }
  if (failure != 0) {
    ::DeleteFileW(WidePath(temp).c_str());
    SetError(error, failed_path == source ? "Cannot read" : "Cannot write", failed_path, failure);
    return false;
  }
  return true;
}

}  // namespace gantrell
