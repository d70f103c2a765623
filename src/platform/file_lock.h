// An exclusive lock between processes, taken on a lock file of its own so
// that the file it guards can be replaced by rename while the lock is held.
#pragma once

#include <string>

#include "platform/native_handle.h"

namespace gantrell {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens (creating it when missing) the lock file and waits until this
  // process holds it exclusively. Returns false with a message naming the
  // lock file in *error when the file cannot be opened or locked. The lock is
  // advisory: it only keeps out others that take it too.
  bool Lock(const std::string& lock_path, std::string* error);

  // The same without waiting: kTaken when this process now holds the lock,
  // kBusy when another holds it, kFailed with a message naming the lock
  // file in *error when the file cannot be opened or locked.
  enum class TryResult { kTaken, kBusy, kFailed };
  TryResult TryLock(const std::string& lock_path, std::string* error);

  // While the lock is held: replaces the lock file's content with `note`,
  // for whoever finds the lock busy (ReadNote). False when it cannot.
  bool WriteNote(const std::string& note);
  // The note the holder of the lock at `lock_path` left; empty when there
  // is none or the file cannot be read.
  static std::string ReadNote(const std::string& lock_path);

  // Releases the lock; does nothing when it is not held.
  void Unlock();

  bool held() const { return handle_.valid(); }

 private:
  // The messages for a lock file that cannot be opened or locked, with the
  // system's `reason`; the same on every system (file_lock.cc).
  static std::string OpenFailure(const std::string& lock_path, const std::string& reason);
  static std::string LockFailure(const std::string& lock_path, const std::string& reason);

  NativeHandle handle_;  // the open lock file while the lock is held
};

}  // namespace gantrell
