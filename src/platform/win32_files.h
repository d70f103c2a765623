#pragma once

// File helpers shared by the Windows file backends. Only *_win32.cc files
// include this.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace gantrell::win32 {

// Seconds and nanoseconds since 1970 of a FILETIME.
void FileTimeToUnix(const FILETIME& time, long long* seconds, long long* nanoseconds);

// Opens `path` for reading, sharing it with readers, writers and with a
// rename or removal of it (so that an atomic replace is not held up by a
// reader). INVALID_HANDLE_VALUE on failure, GetLastError() says why.
HANDLE OpenForReading(const std::string& path);

// Writes all of `content`; false on an error.
bool WriteAll(HANDLE file, std::string_view content);

// Six letters or digits that differ from call to call, for unique names.
std::string UniqueSuffix();

// Whether the error means that nothing is at the path.
bool IsMissingError(unsigned long code);

// MoveFileExW that waits up to a second while a sharing violation holds it
// up (a virus scanner or an indexer having the file open for a moment).
bool MoveWithRetry(const std::wstring& from, const std::wstring& to, DWORD flags);

}  // namespace gantrell::win32
