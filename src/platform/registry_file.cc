#include "platform/registry_file.h"

#include <cstdlib>

#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/file_lock.h"
#include "platform/reg_file_format.h"
#include "platform/standard_folders.h"

namespace gantrell {
namespace {

constexpr std::string_view kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::string_view kAppDataValue = "AppData";

// The per-user file holds private settings; the machine-wide one is readable
// by every user of the machine.
constexpr FileMode kUserFileMode = 0600;
constexpr FileMode kUserFolderMode = 0700;
constexpr FileMode kMachineFileMode = 0644;
constexpr FileMode kMachineFolderMode = 0755;

std::string StandardFile(bool per_user) {
  const char* name = per_user ? "user.reg" : "machine.reg";
  const char* dir = std::getenv("GANTRELL_REGISTRY_DIR");
  if (dir != nullptr && dir[0] != '\0') {
    return std::string(dir) + "/" + name;
  }
  if (!per_user) {
    return "/etc/gantrell/machine.reg";
  }
  std::string config = ConfigHome();
  return config.empty() ? std::string() : config + "/gantrell/user.reg";
}

bool CheckNames(std::string_view key_path, std::string_view value_name, std::string* error) {
  if (!IsValidKeyPath(key_path)) {
    *error = Subst(Tr("Invalid registry key path \"%1\""), {std::string(key_path)});
    return false;
  }
  if (!IsValidValueName(value_name)) {
    *error = Subst(Tr("Invalid registry value name \"%1\""), {std::string(value_name)});
    return false;
  }
  return true;
}

}  // namespace

FileRegistry::FileRegistry() : FileRegistry(StandardFile(true), StandardFile(false), DataHome()) {}

FileRegistry::FileRegistry(std::string user_file, std::string machine_file)
    : FileRegistry(std::move(user_file), std::move(machine_file), DataHome()) {}

FileRegistry::FileRegistry(std::string user_file, std::string machine_file,
                           std::string app_data_folder)
    : app_data_folder_(std::move(app_data_folder)) {
  user_.path = std::move(user_file);
  user_.per_user = true;
  machine_.path = std::move(machine_file);
}

FileRegistry::StoreFile& FileRegistry::FileFor(RegRoot root) const {
  return root == RegRoot::kCurrentUser ? user_ : machine_;
}

bool FileRegistry::Load(const StoreFile& file, RegDocument* document, FileStamp* stamp,
                        std::string* problem) {
  *document = RegDocument();
  *stamp = FileStamp();
  if (file.path.empty()) {
    return true;  // no home folder: nothing stored, and writes say why
  }
  std::string text;
  bool missing = false;
  if (!ReadWholeFile(file.path, &text, &missing, problem, stamp)) {
    *stamp = FileStamp();
    return missing;
  }
  if (!ParseRegFile(text, file.path, document, problem)) {
    *document = RegDocument();
    return false;
  }
  for (const RegDocumentKey& key : document->keys()) {
    if ((key.root == RegRoot::kCurrentUser) != file.per_user) {
      *problem =
          file.path + ":" + std::to_string(key.line) + ": " +
          Subst(file.per_user
                    ? Tr("%1 keys belong in the machine-wide file, not in this per-user file")
                    : Tr("%1 keys belong in the per-user file, not in this machine-wide file"),
                {RegRootName(key.root)});
      *document = RegDocument();
      return false;
    }
  }
  return true;
}

void FileRegistry::Refresh(StoreFile* file) {
  const FileStamp now = file->path.empty() ? FileStamp() : StampOfFile(file->path);
  if (file->loaded && now == file->stamp) {
    return;
  }
  file->problem.clear();
  Load(*file, &file->document, &file->stamp, &file->problem);
  file->loaded = true;
}

bool FileRegistry::IsAppDataFallback(RegRoot root, std::string_view key_path,
                                     std::string_view value_name) const {
  return root == RegRoot::kCurrentUser && !app_data_folder_.empty() &&
         NamesEqual(key_path, kShellFoldersKey) && NamesEqual(value_name, kAppDataValue);
}

bool FileRegistry::KeyExists(RegRoot root, std::string_view key_path) const {
  if (!IsValidKeyPath(key_path)) {
    return false;
  }
  if (root == RegRoot::kCurrentUser && !app_data_folder_.empty() &&
      PathIsAtOrBelow(kShellFoldersKey, key_path)) {
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  StoreFile& file = FileFor(root);
  Refresh(&file);
  return file.document.KeyExists(root, key_path);
}

bool FileRegistry::QueryValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                              RegValue* value) const {
  if (!IsValidKeyPath(key_path) || !IsValidValueName(value_name)) {
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    StoreFile& file = FileFor(root);
    Refresh(&file);
    if (const RegValue* found = file.document.FindValue(root, key_path, value_name)) {
      *value = *found;
      return true;
    }
  }
  if (IsAppDataFallback(root, key_path, value_name)) {
    *value = RegValue::Text(app_data_folder_, kRegExpandSz);
    return true;
  }
  return false;
}

bool FileRegistry::AlreadyHolds(RegRoot root, std::string_view key_path,
                                std::string_view value_name, const RegValue* value) const {
  std::lock_guard<std::mutex> lock(mutex_);
  StoreFile& file = FileFor(root);
  Refresh(&file);
  if (!file.problem.empty()) {
    return false;  // let the write report the problem
  }
  const RegValue* found = file.document.FindValue(root, key_path, value_name);
  return value == nullptr ? found == nullptr : (found != nullptr && *found == *value);
}

template <typename Change>
bool FileRegistry::Modify(RegRoot root, std::string* error, Change change) {
  std::lock_guard<std::mutex> lock(mutex_);
  StoreFile& file = FileFor(root);
  if (file.path.empty()) {
    *error = Tr("Cannot write the per-user registry: no home folder is known (set HOME)");
    return false;
  }
  bool per_user = file.per_user;
  if (!CreateFolders(ParentFolder(file.path), per_user ? kUserFolderMode : kMachineFolderMode,
                     error)) {
    return false;
  }
  FileLock file_lock;
  if (!file_lock.Lock(file.path + ".lock", error)) {
    return false;
  }
  // Another process may have changed the file since it was cached; the
  // change is applied to what is on disk now.
  RegDocument document;
  FileStamp stamp;
  std::string problem;
  if (!Load(file, &document, &stamp, &problem)) {
    *error = Subst(Tr("%1 (the file was left unchanged)"), {problem});
    return false;
  }
  if (!change(&document)) {
    return true;
  }
  if (!WriteFileAtomically(file.path, SerializeRegFile(document), error,
                           per_user ? kUserFileMode : kMachineFileMode)) {
    return false;
  }
  // Still under the lock, so the file is the one just written.
  file.loaded = false;
  Refresh(&file);
  return true;
}

bool FileRegistry::SetValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                            const RegValue& value, std::string* error) {
  if (!CheckNames(key_path, value_name, error)) {
    return false;
  }
  if (AlreadyHolds(root, key_path, value_name, &value)) {
    return true;
  }
  return Modify(root, error, [&](RegDocument* document) {
    const RegValue* old = document->FindValue(root, key_path, value_name);
    if (old != nullptr && *old == value) {
      return false;
    }
    document->SetValue(root, key_path, value_name, value);
    return true;
  });
}

bool FileRegistry::DeleteValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                               std::string* error) {
  if (!CheckNames(key_path, value_name, error)) {
    return false;
  }
  if (AlreadyHolds(root, key_path, value_name, nullptr)) {
    return true;
  }
  return Modify(root, error, [&](RegDocument* document) {
    return document->DeleteValue(root, key_path, value_name);
  });
}

bool FileRegistry::UpdateValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                               const ValueChange& change, std::string* error) {
  if (!CheckNames(key_path, value_name, error)) {
    return false;
  }
  return Modify(root, error, [&](RegDocument* document) {
    const RegValue* current = document->FindValue(root, key_path, value_name);
    RegValue replacement;
    if (!change(current, &replacement) || (current != nullptr && *current == replacement)) {
      return false;
    }
    document->SetValue(root, key_path, value_name, replacement);
    return true;
  });
}

std::string FileRegistry::Diagnostics() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  for (StoreFile* file : {&user_, &machine_}) {
    Refresh(file);
    if (!file->problem.empty()) {
      if (!out.empty()) {
        out += '\n';
      }
      out += file->problem;
    }
  }
  return out;
}

}  // namespace gantrell
