// Plain file access for the publishing tool: reading a file up to a size,
// when a file was last changed, and writing a complete new file under a
// unique temporary name that a rename then puts in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gantrell {

enum class BoundedReadResult {
  kRead,
  kTooLarge,  // the file holds more than `limit` bytes; *content is unset
  kFailed,    // *reason says why, in the system's words
};

// Reads the whole of `path`, which must not be a folder ("Is a directory"),
// stopping as soon as it holds more than `limit` bytes.
BoundedReadResult ReadFileUpTo(const std::string& path, std::size_t limit, std::string* content,
                               std::string* reason);

// The time `path` (links followed) was last changed, in seconds since
// 1970. False when it cannot be looked at.
bool FileModifiedTime(const std::string& path, std::int64_t* seconds);

enum class NewFileAccess {
  kOwnerOnly,  // 0600 from the moment it exists: for private keys
  kPublic,     // 0644
};

// Creates a new file named `prefix` followed by six unique characters,
// writes `content` to it and flushes it to disk. Returns its name in
// *temp_path, or false with *reason (the system's words), leaving nothing.
bool WriteUniqueTemporary(const std::string& prefix, std::string_view content,
                          NewFileAccess access, std::string* temp_path, std::string* reason);

}  // namespace gantrell
