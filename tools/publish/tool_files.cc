#include "tool_files.h"

#include "platform/file_access.h"
#include "platform/file_move.h"
#include "platform/folders.h"

namespace gantrell::publish {

bool ReadWholeFile(const std::string& path, std::string* content, std::string* error,
                   std::size_t limit) {
  std::string reason;
  switch (ReadFileUpTo(path, limit, content, &reason)) {
    case BoundedReadResult::kRead:
      return true;
    case BoundedReadResult::kTooLarge:
      *error = "cannot read '" + path + "': larger than " + std::to_string(limit) + " bytes";
      return false;
    case BoundedReadResult::kFailed:
      break;
  }
  *error = "cannot read '" + path + "': " + reason;
  return false;
}

bool PathExists(const std::string& path) {
  return gantrell::PathExists(path);
}

bool SameFile(const std::string& a, const std::string& b) {
  return IsSameFile(a, b);
}

bool MoveFile(const std::string& from, const std::string& to, std::string* error) {
  // std::rename would refuse an existing destination on Windows.
  return RenameDurably(from, to, /*replace=*/true, error) == MoveResult::kMoved;
}

PendingFile::~PendingFile() {
  if (!m_tempPath.empty())
    RemoveFile(m_tempPath);
}

bool PendingFile::Prepare(const std::string& path, std::string_view content, Access access,
                          std::string* error) {
  m_path = path;
  std::string reason;
  if (!WriteUniqueTemporary(path + ".tmp-", content,
                            access == Access::kOwnerOnly ? NewFileAccess::kOwnerOnly
                                                         : NewFileAccess::kPublic,
                            &m_tempPath, &reason)) {
    m_tempPath.clear();
    *error = "cannot write '" + path + "': " + reason;
    return false;
  }
  return true;
}

bool PendingFile::Commit(bool replace, std::string* error) {
  if (m_tempPath.empty()) {
    *error = "internal error: '" + m_path + "' was not prepared";
    return false;
  }
  if (!replace && PathExists(m_path)) {
    *error = "'" + m_path + "' already exists";
    return false;
  }
  if (!MoveFile(m_tempPath, m_path, error))
    return false;
  m_tempPath.clear();
  return true;
}

}  // namespace gantrell::publish
