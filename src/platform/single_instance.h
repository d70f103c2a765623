// Single-instance guard and hand-off channel, standing in for a named
// mutex and a message posted to a window found by its title.
//
// Both live in the user's runtime folder (standard_folders.h), under
// "gantrell/": the guard is a lock on "NAME.lock", released by Release or
// by the system when the process ends however it ends; the channel is a
// local socket "TITLE.sock" that exists only while its listener lives.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/native_handle.h"

namespace gantrell {

class InstanceLock {
 public:
  // Takes no lock yet.
  explicit InstanceLock(std::string name);
  ~InstanceLock();

  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries to take the lock, waiting at most `timeout_ms`. True when this
  // process now holds it (it is the first instance). False with a message
  // in *error (may be null) when the lock file cannot be made; false with
  // *error empty when another process holds it.
  bool TryAcquire(int timeout_ms, std::string* error);
  void Release();
  bool held() const { return handle_.valid(); }

 private:
  std::string name_;
  NativeHandle handle_;  // the lock file, or the mutex, while held
};

// The listening end: exists while the main window runs. `on_message` runs
// on the channel's own thread for every notice received.
class HandOffListener {
 public:
  HandOffListener(const HandOffListener&) = delete;
  HandOffListener& operator=(const HandOffListener&) = delete;
  ~HandOffListener();

  // Opens the channel named `title`; nullptr with a message in *error when
  // it cannot.
  static std::unique_ptr<HandOffListener> Open(const std::string& title,
                                               std::function<void()> on_message,
                                               std::string* error);

 private:
  HandOffListener(NativeHandle channel, std::string path, std::function<void()> on_message);
  void Run();

  NativeHandle channel_;  // the listening socket, or the hand-off event
  NativeHandle wake_[2];  // what stops the thread (a pipe, or an event and none)
  std::string path_;
  std::function<void()> on_message_;
  std::thread thread_;
};

// Sends one notice to the channel named `title`. Returns false when no
// listener exists (like a message posted to a window that is not there).
bool NotifyHandOff(const std::string& title);

// The folder this process's channels live in (its runtime folder's
// "gantrell/"), for an instance started with another runtime folder to
// reach them; empty with the reason in *error (may be null) when there is
// none.
std::string HandOffFolder(std::string* error);
// NotifyHandOff to the channel named `title` in `folder` (an absolute
// path HandOffFolder gave another process).
bool NotifyHandOffIn(const std::string& folder, const std::string& title);

}  // namespace gantrell
