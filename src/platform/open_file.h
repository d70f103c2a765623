// Files opened with the C library by their UTF-8 paths. std::fopen takes
// the system's narrow encoding, which on Windows is the ANSI code page: a
// path holding a character outside it (a user name in another script)
// would not open. These take the path as the program keeps it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace gantrell {

// std::fopen for a UTF-8 path; `mode` as std::fopen's ("rb", "wb", ...).
// Null when the file cannot be opened, with errno set.
std::FILE* OpenFile(const std::string& path, const char* mode);

// A std::filesystem path from a UTF-8 path and back. Constructing a path
// from a std::string, or calling string() on one, uses the narrow encoding
// too; these go through char8_t, which is UTF-8 everywhere.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace gantrell
