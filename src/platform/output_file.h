// A new file written from its start, as a download is: created only where
// nothing is, written through the page cache or around it (direct I/O),
// flushed and closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/native_handle.h"

namespace gantrell {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes the file, if open, without a report
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  enum class CreateResult { kCreated, kExists, kFailed };
  // Creates `path` for writing, readable and writable as the user's defaults
  // allow; kExists when something is there already. Not for an open file.
  CreateResult CreateNew(const std::string& path);
  // Opens `path` to continue it after its first `offset` bytes: what lies
  // beyond them is cut off and writes follow them. A missing file is
  // created (with offset 0). A link is not followed. Not for an open file.
  bool OpenToContinue(const std::string& path, std::int64_t offset);
  bool is_open() const { return handle_.valid(); }

  // Turns writing around the page cache on or off. False when the file
  // system refuses, or the system has no such mode.
  bool SetDirect(bool on);

  // Writes up to `count` bytes after the ones written before, resuming an
  // interrupted write. Returns how many were written, 0 when none could be,
  // or -1 on an error; *bad_request then says whether the system refused
  // the request itself (direct I/O wanting a larger alignment).
  std::int64_t Write(const char* bytes, std::size_t count, bool* bad_request);

  // Asks the system to start putting the `length` bytes from `offset` on
  // disk, without waiting for it. Nothing where the system has no such
  // request.
  void StartWriteBack(std::int64_t offset, std::int64_t length);

  // Puts what was written on disk; false on an error.
  bool Sync();
  // Closes the file; false when the system reports an error (the file is
  // closed either way).
  bool Close();

 private:
  NativeHandle handle_;
};

}  // namespace gantrell
