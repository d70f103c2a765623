// The registry kept in `.reg` text files (reg_file_format.h), for systems
// without a registry of their own.
//
// HKEY_CURRENT_USER lives in a per-user file, every other root in one
// machine-wide file:
//   per-user      <XDG config home>/gantrell/user.reg
//   machine-wide  /etc/gantrell/machine.reg
// When GANTRELL_REGISTRY_DIR is set (and not empty) both files live in that
// folder instead, as user.reg and machine.reg. A file that does not exist is
// an empty store; its folder is created by the first write. A section of the
// wrong root in a file (an HKEY_LOCAL_MACHINE key in user.reg, say) makes the
// file unreadable, as any other parse error does.
//
// Reading: each file is parsed once and kept; a query only checks the file's
// identity (inode, size, modification time) and parses it again when it has
// changed. A file that cannot be read or parsed answers every query as an
// empty store would, and Diagnostics() says why, naming the file and line.
//
// Writing: each change re-reads the file under an exclusive lock on a lock
// file beside it ("user.reg.lock"), applies the change and replaces the file
// atomically, so concurrent writers in several processes all keep their
// changes and readers see either the old or the new file. A file that cannot
// be parsed is never overwritten: the write fails with the parse error.
//
// When the per-user file holds no "AppData" value under
// "Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders",
// the store answers it with the XDG data home folder as a REG_EXPAND_SZ
// value; a value in the file wins.
//
// One FileRegistry may be used from several threads at once.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/reg_document.h"
#include "platform/registry.h"


namespace gantrell {

class FileRegistry : public Registry {
 public:
  // Uses the standard file locations described above.
  FileRegistry();
  // Uses the two given files. `app_data_folder` answers the "AppData" shell
  // folder when user.reg holds none; empty means no such answer.
  FileRegistry(std::string user_file, std::string machine_file, std::string app_data_folder);
  // As above, answering "AppData" with the XDG data home.
  FileRegistry(std::string user_file, std::string machine_file);

  FileRegistry(const FileRegistry&) = delete;
  FileRegistry& operator=(const FileRegistry&) = delete;

  bool KeyExists(RegRoot root, std::string_view key_path) const override;
  bool QueryValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                  RegValue* value) const override;
  bool SetValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                const RegValue& value, std::string* error) override;
  bool DeleteValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                   std::string* error) override;
  // Reads and writes under the file's lock, so that writers in other
  // processes cannot come in between.
  bool UpdateValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                   const ValueChange& change, std::string* error) override;

  // Why a store file cannot be used, one line per file ("<file>:<line>:
  // <problem>"); empty when both files are readable (or missing).
  std::string Diagnostics() const override;

  const std::string& user_file() const { return user_.path; }
  const std::string& machine_file() const { return machine_.path; }

 private:

  struct StoreFile {
    std::string path;
    bool per_user = false;  // holds HKEY_CURRENT_USER, and only that root
    bool loaded = false;
    FileStamp stamp;
    RegDocument document;  // empty when `problem` is set
    std::string problem;
  };

  StoreFile& FileFor(RegRoot root) const;

  // True when the file as cached (after a refresh) already has the value
  // `*value`, or has no such value when `value` is null, so that a write
  // would change nothing. Saves taking the lock and rewriting the file.
  bool AlreadyHolds(RegRoot root, std::string_view key_path, std::string_view value_name,
                    const RegValue* value) const;

  // Brings the cached document up to date with the file. Caller holds mutex_.
  static void Refresh(StoreFile* file);
  // Reads and parses the file as it is now; false with *problem on failure.
  static bool Load(const StoreFile& file, RegDocument* document, FileStamp* stamp,
                   std::string* problem);

  // Locks, re-reads, lets `change` edit the document (it returns whether it
  // changed anything) and writes the file back.
  template <typename Change>
  bool Modify(RegRoot root, std::string* error, Change change);

  bool IsAppDataFallback(RegRoot root, std::string_view key_path,
                         std::string_view value_name) const;

  std::string app_data_folder_;
  mutable std::mutex mutex_;
  mutable StoreFile user_;
  mutable StoreFile machine_;
};

}  // namespace gantrell
