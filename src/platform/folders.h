// Folders on disk: what is at a path, making and removing a folder, and the
// names a folder holds.
#pragma once

#include <string>
#include <vector>

namespace gantrell {

enum class PathKind {
  kMissing,  // nothing can be found at the path (or it cannot be looked at)
  kFolder,
  kOther,  // a file, or anything else that is not a folder
};

// What is at `path`, following links. On kMissing *error (may be null) says
// why, in the system's words.
PathKind KindOfPath(const std::string& path, std::string* error = nullptr);

// True when `path` is not empty and names a folder (links followed).
bool IsFolder(const std::string& path);

// Makes the folder `path` (its parent must exist), readable and writable as
// the user's defaults allow. False when it could not be made, which includes
// something already being there.
bool MakeFolder(const std::string& path);

enum class RemoveFolderResult {
  kRemoved,
  kMissing,  // nothing was there
  kFailed,   // not empty, not a folder, or not allowed
};

// Removes the folder `path` only when it is empty.
RemoveFolderResult RemoveEmptyFolder(const std::string& path);

// The names in `folder`, without "." and "..", in no particular order.
// False when the folder cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>* names);

// Removes the file (not a folder) at `path`; false when it could not.
bool RemoveFile(const std::string& path);

}  // namespace gantrell
