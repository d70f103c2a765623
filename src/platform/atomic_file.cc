#include "platform/atomic_file.h"

#include "platform/atomic_file_backend.h"
#include "platform/catalogue.h"

namespace gantrell {

namespace backend = atomic_file_backend;

namespace {

void SetError(std::string* error, std::string_view what, const std::string& path,
              const std::string& reason) {
  if (error != nullptr)
    *error = Subst(Tr(what), {path, reason});
}

// The name of `path` within its folder.
std::string BaseName(const std::string& path) {
  const std::size_t slash = LastPathSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The journal of a write of several files: beside the first file, named
// after it, listing each temporary file and the file it becomes.
std::string JournalPath(const std::string& first_path) {
  return ParentFolder(first_path) + "/." + BaseName(first_path) + ".commit";
}

// Renames every temporary file of the journal that is still there into
// place, then removes the journal.
void RollForward(const std::string& journal_path, const std::string& journal) {
  std::size_t start = 0;
  while (start < journal.size()) {
    std::size_t end = journal.find('\n', start);
    if (end == std::string::npos) end = journal.size();
    const std::string line = journal.substr(start, end - start);
    start = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string temp = line.substr(0, tab);
    const std::string final_path = line.substr(tab + 1);
    std::string reason;
    if (backend::Exists(temp) && !backend::ReplaceByRename(temp, final_path, &reason))
      backend::Remove(temp);
  }
  backend::SyncFolderOf(journal_path);
  backend::Remove(journal_path);
  backend::SyncFolderOf(journal_path);
}

// True when `name` is `base` followed by ".tmp" and the six letters or
// digits WriteTemporary puts after it.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
  constexpr std::string_view kSuffix = ".tmp";
  constexpr std::size_t kRandomLength = 6;
  if (name.size() != base.size() + kSuffix.size() + kRandomLength ||
      name.compare(0, base.size(), base) != 0 ||
      name.compare(base.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  for (std::size_t i = base.size() + kSuffix.size(); i < name.size(); ++i) {
    const char c = name[i];
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum)
      return false;
  }
  return true;
}

}  // namespace

std::size_t LastPathSeparator(std::string_view path) {
#ifdef _WIN32
  return path.find_last_of("/\\");
#else
  return path.find_last_of('/');
#endif
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = LastPathSeparator(path);
  if (slash == std::string::npos) {
    return ".";
  }
  if (slash == 0) {
    return "/";
  }
  return path.substr(0, slash);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error) {
  return WriteFileAtomically(path, content, error, 0644);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error,
                         FileMode new_file_mode) {
  return WriteFilesAtomically({FileContent{path, std::string(content)}}, error, new_file_mode);
}

bool WriteFilesAtomically(const std::vector<FileContent>& files, std::string* error,
                          FileMode new_file_mode) {
  // Every file is written and flushed under a temporary name first, so a
  // failure on any of them leaves all the originals untouched.
  std::vector<std::string> temps;
  for (const FileContent& file : files) {
    std::string temp;
    if (!backend::WriteTemporary(file.path, file.content, new_file_mode, &temp, error)) {
      for (const std::string& written : temps) {
        backend::Remove(written);
      }
      return false;
    }
    temps.push_back(temp);
  }
  if (files.empty()) return true;

  // Several files that belong together become new together: a journal of
  // the renames is committed first, so a crash between two renames is
  // completed by CompleteInterruptedWrite at the next start.
  std::string journal_path;
  std::string journal;
  if (files.size() > 1) {
    journal_path = JournalPath(files[0].path);
    for (std::size_t i = 0; i < files.size(); ++i) journal += temps[i] + "\t" + files[i].path + "\n";
    std::string journal_temp;
    std::string reason;
    if (!backend::WriteTemporary(journal_path, journal, 0600, &journal_temp, error)) {
      for (const std::string& written : temps) backend::Remove(written);
      return false;
    }
    if (!backend::ReplaceByRename(journal_temp, journal_path, &reason)) {
      backend::Remove(journal_temp);
      for (const std::string& written : temps) backend::Remove(written);
      SetError(error, TrNoop("Cannot write %1: %2"), journal_path, reason);
      return false;
    }
    backend::SyncFolderOf(journal_path);
  }

  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string reason;
    if (!backend::ReplaceByRename(temps[i], files[i].path, &reason)) {
      if (i == 0) {
        // Nothing is replaced yet: give the whole write up, originals intact.
        for (const std::string& written : temps) backend::Remove(written);
        if (!journal_path.empty()) backend::Remove(journal_path);
      } else {
        // Some files are new already: finish what can be finished rather
        // than leave them half old, half new.
        RollForward(journal_path, journal);
      }
      SetError(error, TrNoop("Cannot write %1: %2"), files[i].path, reason);
      return false;
    }
    backend::SyncFolderOf(files[i].path);
  }
  if (!journal_path.empty()) {
    backend::Remove(journal_path);
    backend::SyncFolderOf(journal_path);
  }
  return true;
}

void CompleteInterruptedWrite(const std::string& first_path) {
  const std::string journal_path = JournalPath(first_path);
  std::string journal;
  bool missing = false;
  if (ReadWholeFile(journal_path, &journal, &missing, nullptr)) RollForward(journal_path, journal);
}

int RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = ParentFolder(path);
  const std::string bases[] = {BaseName(path), BaseName(JournalPath(path))};
  std::vector<std::string> names;
  if (!backend::ListNames(folder, &names))
    return 0;
  int removed = 0;
  for (const std::string& name : names) {
    for (const std::string& base : bases) {
      if (!IsTemporaryOf(name, base))
        continue;
      const std::string file = folder + "/" + name;
      // Only plain files: a folder or link of that name is not ours.
      if (backend::IsPlainFile(file) && backend::Remove(file))
        ++removed;
      break;
    }
  }
  if (removed > 0)
    backend::SyncFolderOf(path);
  return removed;
}

}  // namespace gantrell
