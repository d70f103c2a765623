#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>
#include <filesystem>

namespace gantrell::testing {

namespace {

#ifdef _WIN32
// Windows has neither mkdtemp nor setenv: a folder with a random name
// under the system's temporary folder, and the C runtime's _putenv_s
// (which an empty value unsets).
char* MakeTemporaryFolder(char* pattern) {
  const std::size_t length = std::strlen(pattern);
  static std::mt19937_64 random(std::random_device{}());
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = length - 6; i < length; ++i)
      pattern[i] = kLetters[random() % (sizeof kLetters - 1)];
    std::error_code error;
    if (std::filesystem::create_directory(pattern, error))
      return pattern;
  }
  return nullptr;
}
void SetVariable(const char* name, const char* value) {
  ::_putenv_s(name, value);
}
void UnsetVariable(const char* name) {
  ::_putenv_s(name, "");
}
std::string TemporaryBase(const char* base) {
  if (base != nullptr && base[0] != '\0')
    return base;
  std::error_code error;
  std::string system = std::filesystem::temp_directory_path(error).generic_string();
  // It ends in a separator ("C:/Users/me/Temp/"); the caller adds its own.
  while (system.size() > 3 && system.back() == '/')
    system.pop_back();
  return error || system.empty() ? "." : system;
}
#else
char* MakeTemporaryFolder(char* pattern) {
  return ::mkdtemp(pattern);
}
void SetVariable(const char* name, const char* value) {
  ::setenv(name, value, 1);
}
void UnsetVariable(const char* name) {
  ::unsetenv(name);
}
std::string TemporaryBase(const char* base) {
  return base != nullptr && base[0] == '/' ? base : "/tmp";
}
#endif

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      TemporaryBase(base) + "/gantrell-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (MakeTemporaryFolder(name.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
    return;
  }
  path_ = name.data();
}

TempDir::~TempDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string TempDir::WriteFile(const std::string& name, const std::string& content) const {
  std::string path = File(name);
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  // Written beside and renamed into place, so the file gets a new inode and
  // readers that cache by file identity notice the change at once.
  std::string temp = path + ".new";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  // std::rename does not replace an existing file on Windows; the
  // filesystem library's rename does on both systems.
  std::error_code renamed;
  if (out)
    std::filesystem::rename(temp, path, renamed);
  if (!out || renamed) {
    ADD_FAILURE() << "cannot write " << path;
  }
  return path;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_value_ = true;
    old_value_ = old;
  }
  if (value != nullptr) {
    SetVariable(name, value);
  } else {
    UnsetVariable(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_value_) {
    SetVariable(name_.c_str(), old_value_.c_str());
  } else {
    UnsetVariable(name_.c_str());
  }
}

}  // namespace gantrell::testing
