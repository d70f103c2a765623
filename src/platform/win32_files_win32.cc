#include "platform/win32_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>

#include "platform/win32_text.h"

namespace gantrell::win32 {

void FileTimeToUnix(const FILETIME& time, long long* seconds, long long* nanoseconds) {
  // FILETIME counts 100 ns steps since 1601-01-01.
  constexpr long long kEpochDifference = 11644473600LL;  // 1601 to 1970, in seconds
  const unsigned long long ticks =
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  *seconds = static_cast<long long>(ticks / 10000000ULL) - kEpochDifference;
  *nanoseconds = static_cast<long long>(ticks % 10000000ULL) * 100;
}

HANDLE OpenForReading(const std::string& path) {
  return ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, std::string_view content) {
  while (!content.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0)
      return false;
    content.remove_prefix(written);
  }
  return true;
}

std::string UniqueSuffix() {
  static constexpr char kLetters[] =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static std::atomic<unsigned long long> counter{0};
  std::mt19937_64 random(static_cast<unsigned long long>(
                             std::chrono::steady_clock::now().time_since_epoch().count()) ^
                         (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^
                         counter.fetch_add(1));
  std::string suffix;
  for (int i = 0; i < 6; ++i)
    suffix += kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

bool IsMissingError(unsigned long code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH;
}

bool MoveWithRetry(const std::wstring& from, const std::wstring& to, DWORD flags) {
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(from.c_str(), to.c_str(), flags))
      return true;
    const DWORD failure = ::GetLastError();
    if ((failure != ERROR_SHARING_VIOLATION && failure != ERROR_ACCESS_DENIED &&
         failure != ERROR_LOCK_VIOLATION) ||
        attempt == 20) {
      ::SetLastError(failure);
      return false;
    }
    ::Sleep(50);
  }
}

}  // namespace gantrell::win32
