#include "platform/file_access.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/win32_files.h"
#include "platform/win32_text.h"

namespace gantrell {

BoundedReadResult ReadFileUpTo(const std::string& path, std::size_t limit, std::string* content,
                               std::string* reason) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *reason = "Is a directory";
    return BoundedReadResult::kFailed;
  }
  HANDLE file = win32::OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    *reason = LastErrorText();
    return BoundedReadResult::kFailed;
  }
  std::string read;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      *reason = LastErrorText();
      ::CloseHandle(file);
      return BoundedReadResult::kFailed;
    }
    if (got == 0)
      break;
    if (read.size() + got > limit) {
      ::CloseHandle(file);
      return BoundedReadResult::kTooLarge;
    }
    read.append(buffer.data(), got);
  }
  ::CloseHandle(file);
  *content = std::move(read);
  return BoundedReadResult::kRead;
}

bool FileModifiedTime(const std::string& path, std::int64_t* seconds) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    return false;
  long long sec = 0, nsec = 0;
  win32::FileTimeToUnix(data.ftLastWriteTime, &sec, &nsec);
  *seconds = sec;
  return true;
}

bool WriteUniqueTemporary(const std::string& prefix, std::string_view content,
                          NewFileAccess access, std::string* temp_path, std::string* reason) {
  // A private key's file grants access to its owner alone (a protected
  // access list, not inheriting the folder's) from the moment it exists.
  SECURITY_ATTRIBUTES owner_only{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (access == NewFileAccess::kOwnerOnly) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)", SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
      *reason = LastErrorText();
      return false;
    }
    owner_only.lpSecurityDescriptor = descriptor;
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string name;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    name = prefix + win32::UniqueSuffix();
    file = ::CreateFileW(WidePath(name).c_str(), GENERIC_WRITE, 0,
                         descriptor != nullptr ? &owner_only : nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
      break;
  }
  const DWORD open_failure = ::GetLastError();
  if (descriptor != nullptr)
    ::LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) {
    *reason = SystemErrorText(open_failure);
    return false;
  }
  bool ok = win32::WriteAll(file, content) && ::FlushFileBuffers(file);
  const DWORD failure = ::GetLastError();
  if (!::CloseHandle(file))
    ok = false;
  if (!ok) {
    *reason = SystemErrorText(failure != 0 ? failure : ERROR_WRITE_FAULT);
    ::DeleteFileW(WidePath(name).c_str());
    return false;
  }
  *temp_path = name;
  return true;
}

}  // namespace gantrell
