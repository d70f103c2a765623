#include "model/pruning.h"

#include <vector>

#include "platform/atomic_file.h"
#include "platform/folders.h"

namespace gantrell {
namespace {

// Only a control file read to its final END says what the provider no longer
// publishes; one that failed part way says nothing about the groups and
// items after the failure.
bool ListParsed(const CUpdateGroup& group) {
  return group.m_pProvider != nullptr && group.m_pProvider->m_bListComplete != 0;
}

bool HasDotComponent(const std::string& location) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = location.find('/', start);
    const std::string part = location.substr(start, end - start);
    if (part == "." || part == "..")
      return true;
    if (end == std::string::npos)
      return false;
    start = end + 1;
  }
}

// Removes, deepest first, the folders between the number folder and the
// file at the default path `path` (which ends in "/" and the location), and
// then the number folder, each only when empty.
void RemoveEmptyItemFolders(const std::string& path, const std::string& location) {
  if (path.size() <= location.size() + 1 ||
      path.compare(path.size() - location.size(), std::string::npos, location) != 0 ||
      path[path.size() - location.size() - 1] != '/' || HasDotComponent(location)) {
    return;
  }
  const std::string number_folder = path.substr(0, path.size() - location.size() - 1);
  for (std::size_t slash = location.rfind('/'); slash != std::string::npos && slash > 0;
       slash = location.rfind('/', slash - 1)) {
    // A folder that is not empty keeps its parents too.
    if (RemoveEmptyFolder(number_folder + "/" + location.substr(0, slash)) ==
        RemoveFolderResult::kFailed) {
      return;
    }
  }
  RemoveEmptyFolder(number_folder);
}

// The part files and empty folders an item's path may hold without a file.
void RemoveLeftovers(const CUpdateItem& item, const DefaultSavePath& default_save_path) {
  const bool custom = !item.m_strSavePath.empty();
  const std::string path =
      custom ? item.m_strSavePath : (default_save_path ? default_save_path(item) : std::string());
  if (path.empty())
    return;
  RemoveStalePartFiles(path);
  if (!custom)
    RemoveEmptyItemFolders(path, item.m_strLocation);
}

}  // namespace

bool CanDiscard(const CUpdateItem& item) {
  return item.m_pGroup != nullptr && ListParsed(*item.m_pGroup) && item.m_bListed == 0 &&
         item.m_nFileStamp == -1;
}

bool CanDiscard(const CUpdateGroup& group) {
  if (!ListParsed(group) || group.m_bListed != 0)
    return false;
  for (int i = 0; i < group.GetItemCount(); ++i) {
    if (!CanDiscard(*group.GetItem(i)))
      return false;
  }
  return true;
}

void Prune(CProvider& provider, const DefaultSavePath& default_save_path) {
  for (int g = provider.GetGroupCount() - 1; g >= 0; --g) {
    CUpdateGroup& group = *provider.GetGroup(g);
    if (CanDiscard(group)) {
      // Nothing of it is on disk but what an interrupted download left.
      for (int i = 0; i < group.GetItemCount(); ++i)
        RemoveLeftovers(*group.GetItem(i), default_save_path);
      provider.RemoveGroup(g);
    } else {
      PruneItems(group, default_save_path);
    }
  }
}

void PruneItems(CUpdateGroup& group, const DefaultSavePath& default_save_path) {
  for (int i = group.GetItemCount() - 1; i >= 0; --i) {
    CUpdateItem& item = *group.GetItem(i);
    if (ListParsed(group) && item.m_bListed == 0)
      item.m_nOffered = 0;
    if (CanDiscard(item)) {
      RemoveLeftovers(item, default_save_path);
      group.RemoveItem(i);
    }
  }
}

void RemoveDownloadedFile(CUpdateItem& item, const DefaultSavePath& default_save_path) {
  if (item.m_nFileStamp == -1)
    return;
  const bool custom = !item.m_strSavePath.empty();
  const std::string path =
      custom ? item.m_strSavePath : (default_save_path ? default_save_path(item) : std::string());
  item.m_nFileStamp = -1;
  item.m_bJustDownloaded = false;
  if (path.empty())
    return;
  RemoveFile(path);
  RemoveStalePartFiles(path);
  if (!custom)
    RemoveEmptyItemFolders(path, item.m_strLocation);
}

void RemoveDownloadedFiles(CUpdateGroup& group, const DefaultSavePath& default_save_path) {
  for (int i = 0; i < group.GetItemCount(); ++i) {
    RemoveDownloadedFile(*group.GetItem(i), default_save_path);
  }
}

void RemoveDownloadedFiles(CProvider& provider, const DefaultSavePath& default_save_path) {
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    CUpdateGroup& group = *provider.GetGroup(g);
    for (int i = 0; i < group.GetItemCount(); ++i) {
      CUpdateItem& item = *group.GetItem(i);
      if (item.m_nFileStamp != -1)
        RemoveDownloadedFile(item, default_save_path);
      else
        RemoveLeftovers(item, default_save_path);
    }
  }
}

std::string KeptPartPath(const std::string& destination, std::int32_t number,
                         std::int32_t stamp) {
  return destination + kKeptPartInfix + std::to_string(number) + "-" + std::to_string(stamp);
}

namespace {

// True for "<number>-<stamp>", optionally followed by ".info": the rest of
// a kept part file's name after its infix.
bool IsKeptPartTail(std::string tail) {
  const std::string info = kKeptPartInfoSuffix;
  if (tail.size() > info.size() && tail.compare(tail.size() - info.size(), info.size(), info) == 0)
    tail.resize(tail.size() - info.size());
  if (tail.empty())
    return false;
  const std::size_t dash = tail.find('-', tail[0] == '-' ? 1 : 0);
  if (dash == std::string::npos)
    return false;
  auto is_number = [](const std::string& text) {
    const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == start)
      return false;
    for (std::size_t i = start; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9')
        return false;
    }
    return true;
  };
  return is_number(tail.substr(0, dash)) && is_number(tail.substr(dash + 1));
}

}  // namespace

void RemoveStalePartFiles(const std::string& destination, const std::string& keep) {
  const std::size_t slash = LastPathSeparator(destination);
  const std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? destination : destination.substr(slash + 1);
  if (base.empty())
    return;  // a destination that names a folder has no part files
  const std::string prefix = base + kPartFileInfix;
  const std::string kept_prefix = base + kKeptPartInfix;
  const std::size_t keep_slash = LastPathSeparator(keep);
  const std::string keep_name =
      keep.empty() ? std::string() : keep.substr(keep_slash == std::string::npos ? 0 : keep_slash + 1);
  std::vector<std::string> names;
  if (!ListFolder(folder, &names))
    return;
  std::vector<std::string> stale;
  for (const std::string& name : names) {
    if (name.size() == prefix.size() + kPartFileSuffixLength &&
        name.compare(0, prefix.size(), prefix) == 0) {
      stale.push_back(name);
    } else if (name.size() > kept_prefix.size() &&
               name.compare(0, kept_prefix.size(), kept_prefix) == 0 &&
               IsKeptPartTail(name.substr(kept_prefix.size())) &&
               (keep_name.empty() ||
                (name != keep_name && name != keep_name + kKeptPartInfoSuffix))) {
      stale.push_back(name);
    }
  }
  for (const std::string& name : stale)
    RemoveFile(folder + (slash == std::string::npos ? "/" : "") + name);
}

}  // namespace gantrell
