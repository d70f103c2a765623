#pragma once

// The steps of an atomic write that differ between systems; atomic_file.cc
// builds the writes, the journal and the clean-up from them. Only the
// platform layer includes this.

#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace gantrell::atomic_file_backend {

// Writes `content` to a new file named `path` + ".tmp" + six letters or
// digits, with the permissions the final file is to have (those of an
// existing `path`, else `new_file_mode` less the umask where the system has
// one), and flushes it to disk. False with a message naming `path` in *error.
bool WriteTemporary(const std::string& path, std::string_view content, FileMode new_file_mode,
                    std::string* temp_path, std::string* error);
// Renames `from` over `to` in one step, replacing a file there. False with
// the system's reason in *reason.
bool ReplaceByRename(const std::string& from, const std::string& to, std::string* reason);
// Removes a file; false when it could not.
bool Remove(const std::string& path);
// Whether anything is at `path`.
bool Exists(const std::string& path);
// Whether `path` is a plain file (not a folder, not a link).
bool IsPlainFile(const std::string& path);
// Flushes the folder holding `path` where the system can.
void SyncFolderOf(const std::string& path);
// The names in `folder`; false when it cannot be read.
bool ListNames(const std::string& folder, std::vector<std::string>* names);

}  // namespace gantrell::atomic_file_backend
