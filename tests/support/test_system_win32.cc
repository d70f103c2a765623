#include "support/test_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/win32_text.h"

namespace gantrell::testing {

const char* WithoutFork() { return "Windows cannot fork a process"; }
const char* WithoutFileSizeLimit() {
  return "Windows has no per-process file size limit to stand in for a full disk";
}
const char* WithoutPermissionBits() { return "Windows has no POSIX permission bits or umask"; }
const char* WithoutSymbolicLinks() {
  return "making a symbolic link needs a privilege on Windows that a user does not have";
}
const char* WithoutOpensslCommand() {
  return "the openssl command line is not part of the Windows build's tools";
}
const char* WithoutRuntimeFolders() {
  return "the instance lock on Windows is a named mutex of the session, which no runtime "
         "folder scopes";
}

int RunInChild(const std::function<int()>&) {
  ADD_FAILURE() << WithoutFork();
  return -1;
}

void RunInChildAndKill(const std::function<void()>&, std::chrono::microseconds) {
  ADD_FAILURE() << WithoutFork();
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t) { ADD_FAILURE() << WithoutFileSizeLimit(); }
ScopedFileSizeLimit::~ScopedFileSizeLimit() = default;

ScopedUmask::ScopedUmask(int) { ADD_FAILURE() << WithoutPermissionBits(); }
ScopedUmask::~ScopedUmask() = default;

// CreateFileW refuses to open a folder as a file with "access denied".
std::string FaultText(FileFault fault) {
  switch (fault) {
    case FileFault::kNoSuchFile:
      return SystemErrorText(ERROR_FILE_NOT_FOUND);
    case FileFault::kNoSuchFolder:
      return SystemErrorText(ERROR_PATH_NOT_FOUND);
    case FileFault::kIsAFolder:
      return SystemErrorText(ERROR_ACCESS_DENIED);
  }
  return {};
}

// Another fixed drive with a writable "tmp" folder at its root (Wine's Z:,
// the Unix root, has one).
std::string OtherFileSystemFolder() {
  std::error_code error;
  const char* base = std::getenv("TMPDIR");
  const std::filesystem::path usual = base != nullptr && base[0] != '\0'
                                          ? std::filesystem::path(base)
                                          : std::filesystem::temp_directory_path(error);
  const std::wstring usual_root = std::filesystem::absolute(usual, error).root_name().wstring();
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
    if ((drives & (1u << (letter - L'A'))) == 0)
      continue;
    const std::wstring root{letter, L':'};
    if (_wcsicmp(root.c_str(), usual_root.c_str()) == 0 ||
        ::GetDriveTypeW((root + L"\\").c_str()) != DRIVE_FIXED)
      continue;
    const std::filesystem::path folder = root + L"\\tmp";
    if (!std::filesystem::is_directory(folder, error))
      continue;
    const std::filesystem::path probe = folder / L"gantrell-probe.tmp";
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      continue;
    ::CloseHandle(file);
    return folder.generic_string();
  }
  return "";
}

}  // namespace gantrell::testing
