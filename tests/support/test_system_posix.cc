#include "support/test_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace gantrell::testing {

const char* WithoutFork() { return nullptr; }
const char* WithoutFileSizeLimit() { return nullptr; }
const char* WithoutPermissionBits() { return nullptr; }
const char* WithoutSymbolicLinks() { return nullptr; }
const char* WithoutOpensslCommand() { return nullptr; }
const char* WithoutRuntimeFolders() { return nullptr; }

int RunInChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return -1;
  }
  if (child == 0)
    ::_exit(body());
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

void RunInChildAndKill(const std::function<void()>& body, std::chrono::microseconds delay) {
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return;
  }
  if (child == 0) {
    body();
    ::_exit(0);
  }
  ::usleep(static_cast<useconds_t>(delay.count()));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

// SIGXFSZ would end the process at the limit; ignored, the write fails
// with EFBIG instead.
ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t bytes) {
  saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    ADD_FAILURE() << "getrlimit failed";
    return;
  }
  saved_ = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
    ADD_FAILURE() << "setrlimit failed";
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(saved_);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, saved_handler_);
}

ScopedUmask::ScopedUmask(int mask) : saved_(static_cast<int>(::umask(static_cast<mode_t>(mask)))) {}

ScopedUmask::~ScopedUmask() { ::umask(static_cast<mode_t>(saved_)); }

std::string FaultText(FileFault fault) {
  switch (fault) {
    case FileFault::kNoSuchFile:
    case FileFault::kNoSuchFolder:
      return std::strerror(ENOENT);
    case FileFault::kIsAFolder:
      return std::strerror(EISDIR);
  }
  return {};
}

std::string OtherFileSystemFolder() {
  const char* base = std::getenv("TMPDIR");
  const std::string usual = base != nullptr && base[0] == '/' ? base : "/tmp";
  struct stat a {}, b {};
  if (::stat("/dev/shm", &a) != 0 || ::stat(usual.c_str(), &b) != 0 || a.st_dev == b.st_dev ||
      ::access("/dev/shm", W_OK) != 0)
    return "";
  return "/dev/shm";
}

}  // namespace gantrell::testing
