// File handling for gantrell-publish. Every error text names the file.
#pragma once

#include <string>
#include <string_view>

namespace gantrell::publish {

// Reads the whole of `path` (at most `limit` bytes; a longer file is an
// error). Returns false with *error such as "cannot read 'x': No such file
// or directory".
bool ReadWholeFile(const std::string& path, std::string* content, std::string* error,
                   std::size_t limit = std::size_t{1} << 30);

bool PathExists(const std::string& path);

// True when both paths exist and name the same file.
bool SameFile(const std::string& a, const std::string& b);

// Moves `from` to `to`, replacing `to`.
bool MoveFile(const std::string& from, const std::string& to, std::string* error);

// A file written completely under a temporary name beside its destination,
// and put in place by Commit with a rename, so that a failure never leaves
// a half-written file. Dropped without a Commit, the temporary file goes.
class PendingFile {
 public:
  enum class Access { kOwnerOnly, kPublic };  // 0600 / 0644

  PendingFile() = default;
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Prepare(const std::string& path, std::string_view content, Access access,
               std::string* error);
  // Replaces the destination. With `replace` false an existing destination
  // is an error and is left alone.
  bool Commit(bool replace, std::string* error);
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_tempPath;
};

}  // namespace gantrell::publish
