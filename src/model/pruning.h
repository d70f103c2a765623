// Dropping what providers no longer publish, and removing downloaded files.
//
// After a fetch, a group or item that its provider's freshly parsed control
// file no longer lists, and of which nothing is kept on disk, is dropped;
// an item that is no longer listed but still has its file stays, withdrawn
// from the configuration lists (m_nOffered 0), until its file is removed.
// Providers whose control file was not parsed to its end in this run
// (m_bListComplete) are left alone.
#pragma once

#include <functional>
#include <string>

#include "model/provider_list.h"

namespace gantrell {

// The item's default save path (download folder, provider folder, number,
// location); empty when it has none.
using DefaultSavePath = std::function<std::string(const CUpdateItem&)>;

// True when the provider's list was parsed to its end in this run, the item
// is not listed and it has no file on disk.
bool CanDiscard(const CUpdateItem& item);
// True when the provider's list was parsed to its end in this run, the group
// is not listed and every item can be discarded (an empty group can).
bool CanDiscard(const CUpdateGroup& group);

void Prune(CProvider& provider, const DefaultSavePath& default_save_path);
void PruneItems(CUpdateGroup& group, const DefaultSavePath& default_save_path);

// Deletes the item's downloaded file (its custom save path, else its
// default path, whose number folder is then removed too when empty) and
// marks the item as having no file. Failures to delete are ignored.
void RemoveDownloadedFile(CUpdateItem& item, const DefaultSavePath& default_save_path);
void RemoveDownloadedFiles(CUpdateGroup& group, const DefaultSavePath& default_save_path);
void RemoveDownloadedFiles(CProvider& provider, const DefaultSavePath& default_save_path);

}  // namespace gantrell
