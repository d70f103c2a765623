#include "model/pruning.h"

#include <unistd.h>
#include <cstdio>

namespace gantrell {
namespace {

// Only a control file read to its final END says what the provider no longer
// publishes; one that failed part way says nothing about the groups and
// items after the failure.
bool ListParsed(const CUpdateGroup& group) {
  return group.m_pProvider != nullptr && group.m_pProvider->m_bListComplete != 0;
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
      RemoveDownloadedFiles(group, default_save_path);
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
      RemoveDownloadedFile(item, default_save_path);
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
  std::remove(path.c_str());
  if (!custom && path.size() > item.m_strLocation.size() + 1) {
    // The default path is the number folder, "/" and the location; the
    // number folder goes too once it is empty.
    const std::size_t folder_length = path.size() - item.m_strLocation.size();
    if (path.compare(folder_length, std::string::npos, item.m_strLocation) == 0) {
      ::rmdir(path.substr(0, folder_length - 1).c_str());
    }
  }
}

void RemoveDownloadedFiles(CUpdateGroup& group, const DefaultSavePath& default_save_path) {
  for (int i = 0; i < group.GetItemCount(); ++i) {
    RemoveDownloadedFile(*group.GetItem(i), default_save_path);
  }
}

void RemoveDownloadedFiles(CProvider& provider, const DefaultSavePath& default_save_path) {
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    RemoveDownloadedFiles(*provider.GetGroup(g), default_save_path);
  }
}

}  // namespace gantrell
