// Moving a user's file so that a failure or a crash at any moment leaves
// either the file where it was or the whole file where it goes, never a
// truncated one, and never a file that was there replaced unless asked.
#pragma once

#include <string>

namespace gantrell {

enum class MoveResult {
  kMoved,   // the file is at the destination, and the move is on disk
  kExists,  // `replace` was false and something is at the destination
  kFailed,  // nothing changed: the source is where it was (see *error)
};

// Renames `from` onto `to`, which must lie on the same file system, and
// flushes the folder of `to` (and of `from` when it differs) so that the
// rename survives a power cut. With `replace` false an existing `to` is
// never replaced, checked in the same step as the rename where the file
// system can (otherwise just before it). *error (may be null) names the
// file on kFailed.
MoveResult RenameDurably(const std::string& from, const std::string& to, bool replace,
                         std::string* error);

// Moves the file `source` to `destination`: a rename on one file system;
// across file systems a copy to a temporary file beside the destination,
// flushed to disk, renamed into place and its folder flushed, and only
// then the removal of the source (a failure to remove it is ignored: the
// file is at the destination). With `replace` false an existing
// destination is left alone (kExists). On kFailed no temporary file is
// left and the destination is as it was.
MoveResult MoveFileDurably(const std::string& source, const std::string& destination, bool replace,
                           std::string* error);

// Flushes the folder holding `path`, so that a file made, renamed or
// removed in it stays so after a power cut. False when the folder cannot
// be opened or flushed.
bool SyncParentFolder(const std::string& path);

// Whether anything (a file, a folder, a dangling link) is at `path`.
bool PathExists(const std::string& path);
// Whether `path` is a regular file (or a link to one).
bool IsRegularFile(const std::string& path);

// Whether the two paths name one existing file (links and other spellings
// of one path included).
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace gantrell
