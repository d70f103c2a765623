// What the system the tests run on offers beyond the standard library, for
// the few tests that need a facility POSIX systems have and Windows has not
// (or not alike): forked children, a file size limit that makes writes fail
// as a full disk does, permission bits with a umask, symbolic links any user
// may make, the openssl command line as an independent maker of keys and
// signatures, a runtime folder (XDG_RUNTIME_DIR) that scopes the instance
// lock. A test that needs one asks first and skips with the reason:
//
//   if (const char* why = testing::WithoutFork()) GTEST_SKIP() << why;
//
// The helpers behind a facility may only be used when it is there; on a
// system without it they fail the current test.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace gantrell::testing {

// Each returns nullptr when the system has the facility, else why not.
const char* WithoutFork();
const char* WithoutFileSizeLimit();
const char* WithoutPermissionBits();
const char* WithoutSymbolicLinks();
const char* WithoutOpensslCommand();
const char* WithoutRuntimeFolders();

// Runs `body` in a forked copy of this process and returns what it
// returned as the child's exit status; -1 when the child did not exit
// normally (or could not be started).
int RunInChild(const std::function<int()>& body);

// Runs `body` (which need not return) in a forked copy of this process,
// kills the child hard after `delay` and waits for it to go.
void RunInChildAndKill(const std::function<void()>& body, std::chrono::microseconds delay);

// While it lives, writes that would make a file of this process longer
// than `bytes` fail (as on a full disk) instead of ending the process.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  std::uint64_t saved_ = 0;
  void (*saved_handler_)(int) = nullptr;
};

// Sets the process's umask for the life of the object.
class ScopedUmask {
 public:
  explicit ScopedUmask(int mask);
  ~ScopedUmask();
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  int saved_ = 0;
};

// The system's text for a fault of a file operation, as the file backends
// put it in their messages ("No such file or directory" from the C library
// on POSIX systems, the system's message on Windows).
enum class FileFault {
  kNoSuchFile,    // opening a file that is not there
  kNoSuchFolder,  // making a file in a folder that is not there
  kIsAFolder,     // opening a folder as a file
};
std::string FaultText(FileFault fault);

// A folder for temporary files on another file system (another volume)
// than the one TempDir uses, so that a rename between the two fails and a
// move must copy; empty when there is none.
std::string OtherFileSystemFolder();

}  // namespace gantrell::testing
