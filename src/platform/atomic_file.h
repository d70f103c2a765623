// Replacing a file's content so that readers and a crash at any moment see
// either the old content or the new, never a mix.
#pragma once

#include <string>
#include <string_view>
#include <vector>


namespace gantrell {

// The permission bits of a new file or folder (0644, 0700...), less the
// umask where the system has one.
using FileMode = unsigned int;

// Writes `content` to a temporary file in the same folder as `path`, flushes
// it to disk, renames it over `path` and flushes the folder. The file keeps
// the permission bits of the file it replaces; a new file gets `new_file_mode`
// (less the umask). The folder must exist. Returns false with a message naming
// the file in *error (which may be null); `path` is then unchanged and no
// temporary file is left behind.
//
// This does not serialise writers: two processes replacing the same file at
// once each succeed and the last rename wins. Callers that read, change and
// write back hold a FileLock around the whole sequence.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error,
                         FileMode new_file_mode);
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error);

struct FileContent {
  std::string path;
  std::string content;
};

// Replaces several files that belong together. Every new content is written
// and flushed under a temporary name before the first rename, so a failure to
// write any of them (a full disk, say) leaves every original unchanged. Then
// a journal of the renames is committed beside the first file; a crash
// between two renames leaves the journal, and CompleteInterruptedWrite on the
// first file's path finishes the renames, so the files are never seen half
// old and half new by a reader that calls it first.
bool WriteFilesAtomically(const std::vector<FileContent>& files, std::string* error,
                          FileMode new_file_mode = 0644);

// Finishes a write of several files (first file `first_path`) that was
// interrupted after its journal was committed; does nothing otherwise.
void CompleteInterruptedWrite(const std::string& first_path);

// Removes the temporary files that writes of `path` left beside it when
// they were cut short before their rename (a crash, a power cut): files
// named after `path` (or after the journal of a write whose first file is
// `path`) followed by ".tmp" and six characters. Call it after
// CompleteInterruptedWrite, which still needs the temporary files its
// journal names. It cannot tell a stale temporary file from one that a
// write in progress has yet to rename, so it is only safe while nothing
// else may be writing `path`: the caller holds whatever lock keeps every
// other writer of the file out. Returns how many files it removed.
int RemoveStaleTemporaries(const std::string& path);

// Creates `folder` and any missing parents with `mode` (less the umask).
// Returns true when the folder exists afterwards; otherwise false with a
// message in *error (which may be null).
bool CreateFolders(const std::string& folder, FileMode mode, std::string* error);

// The folder part of a path: "/a/b" for "/a/b/c", "." for "c", "/" for "/c".
std::string ParentFolder(const std::string& path);

// Where the folder part of `path` ends: its last "/", and on Windows its
// last "/" or "\", since the paths the system hands out and the ones users
// type are written with those; npos when it has none.
std::size_t LastPathSeparator(std::string_view path);

// What identifies one version of a file on disk: a cache of its content is
// still good while the stamp is the same. `exists` is false when there is no
// file (every other field is then zero).
struct FileStamp {
  bool exists = false;
  unsigned long long device = 0, inode = 0, size = 0;
  long long mtime_sec = 0, mtime_nsec = 0, ctime_sec = 0, ctime_nsec = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the file at `path` (links followed); an empty stamp when
// nothing can be looked at there.
FileStamp StampOfFile(const std::string& path);

// Reads the whole file. Returns false with *missing true when the file does
// not exist, or false with a message in *error when it cannot be read. When
// `info` is not null it receives the file's stamp, taken from the same open
// file that was read.
bool ReadWholeFile(const std::string& path, std::string* content, bool* missing, std::string* error,
                   FileStamp* info = nullptr);

}  // namespace gantrell
