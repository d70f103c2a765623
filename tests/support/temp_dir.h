// A temporary folder for a test, removed with everything in it when the
// object goes out of scope.
#pragma once

#include <string>

namespace gantrell::testing {

class TempDir {
 public:
  // Creates a new folder under $TMPDIR (or /tmp). Fails the current test
  // (ADD_FAILURE) when it cannot.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(const std::string& name) const;

  // Writes a file (creating or replacing it, and any folders on the way)
  // below the folder and returns its full path; fails the current test when
  // it cannot. A replaced file gets a new inode.
  std::string WriteFile(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// Sets (or, with nullptr, unsets) an environment variable for the life of
// the object and then restores the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_value_ = false;
  std::string old_value_;
};

}  // namespace gantrell::testing
