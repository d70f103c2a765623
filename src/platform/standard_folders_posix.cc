#include "platform/standard_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "platform/catalogue.h"

namespace gantrell {
namespace {

// The variable's value when it is an absolute path, else empty.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') {
    return std::string();
  }
  return value;
}

std::string UnderHome(const char* relative) {
  std::string home = HomeFolder();
  if (home.empty()) {
    return std::string();
  }
  if (home.back() != '/') {
    home.push_back('/');
  }
  return home + relative;
}

}  // namespace

std::string HomeFolder() {
  std::string home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) {
    return home;
  }
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::string();
}

std::string ConfigHome() {
  std::string folder = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
  return folder.empty() ? UnderHome(".config") : folder;
}

std::string DataHome() {
  std::string folder = AbsoluteFromEnvironment("XDG_DATA_HOME");
  return folder.empty() ? UnderHome(".local/share") : folder;
}

std::string RuntimeDir(std::string* error) {
  std::string folder = AbsoluteFromEnvironment("XDG_RUNTIME_DIR");
  if (!folder.empty()) {
    return folder;
  }
  folder = "/tmp/gantrell-" + std::to_string(::getuid());
  return EnsurePrivateFolder(folder, error) ? folder : std::string();
}

bool EnsurePrivateFolder(const std::string& folder, std::string* error) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error != nullptr) {
      *error = Subst(Tr("Cannot create %1: %2"), {folder, std::strerror(errno)});
    }
    return false;
  }
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0) {
    if (error != nullptr) {
      *error = Subst(Tr("Cannot use %1: %2"), {folder, std::strerror(errno)});
    }
    return false;
  }
  uid_t uid = ::getuid();
  if (!S_ISDIR(info.st_mode) || info.st_uid != uid || (info.st_mode & 077) != 0) {
    if (error != nullptr) {
      *error =
          Subst(Tr("Cannot use %1: it is not a private folder of this user (owner %2, mode 0700)"),
                {folder, std::to_string(uid)});
    }
    return false;
  }
  return true;
}

std::string RuntimeFolderProblem() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] == '\0')
    return {};
  struct stat info;
  if (::stat(runtime, &info) != 0) {
    return Subst(Tr("cannot create the runtime folder %1: %2: set XDG_RUNTIME_DIR or create it"),
                 {runtime, std::strerror(errno)});
  }
  if (!S_ISDIR(info.st_mode))
    return Subst(Tr("XDG_RUNTIME_DIR names %1, which is not a folder"), {runtime});
  return {};
}

}  // namespace gantrell
