// Dropping what providers no longer publish, and removing downloaded files.
//
// After a fetch, a group or item that its provider's freshly parsed control
// file no longer lists, and of which nothing is kept on disk, is dropped;
// an item that is no longer listed but still has its file stays, withdrawn
// from the configuration lists (m_nOffered 0), until its file is removed.
// Providers whose control file was not parsed to its end in this run
// (m_bListComplete) are left alone.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Drops what the provider no longer publishes, with any part files an
// interrupted download of a dropped item left; asks for the paths of those
// items, so pass a lookup that neither asks nor makes folders.
void Prune(CProvider& provider, const DefaultSavePath& default_save_path);
void PruneItems(CUpdateGroup& group, const DefaultSavePath& default_save_path);

// Deletes the item's downloaded file (its custom save path, else its
// default path) with any part files left beside it, and marks the item as
// having no file. With the default path, the folders made for the location
// ("docs/en" of "docs/en/readme.txt") and the number folder are removed
// too, deepest first, as far as they are empty; nothing above the number
// folder is touched. An item without a file is left alone (its path is not
// even asked for). Failures to delete are ignored.
void RemoveDownloadedFile(CUpdateItem& item, const DefaultSavePath& default_save_path);
// RemoveDownloadedFile on every item of the group, in order.
void RemoveDownloadedFiles(CUpdateGroup& group, const DefaultSavePath& default_save_path);
// For a provider that goes away: RemoveDownloadedFile on every item, and for
// items without a file the part files that an interrupted download left at
// their path (and the item's folders, when empty). This asks for the path
// of every item: pass a lookup that neither asks nor makes folders.
void RemoveDownloadedFiles(CProvider& provider, const DefaultSavePath& default_save_path);

// The name a download's part file gets beside `destination`:
// "<destination>.part-" followed by six letters or digits.
inline constexpr const char* kPartFileInfix = ".part-";
inline constexpr std::size_t kPartFileSuffixLength = 6;
// A download that stops before its end keeps what it got in
// "<destination>.partial-<number>-<stamp>" (the item's number and published
// stamp), so that the next download of the same item and stamp can continue
// it, and what continuing needs (the item's length and the validator of the
// server's copy) in the same name followed by ".info".
inline constexpr const char* kKeptPartInfix = ".partial-";
inline constexpr const char* kKeptPartInfoSuffix = ".info";
std::string KeptPartPath(const std::string& destination, std::int32_t number, std::int32_t stamp);
// Deletes every part file of `destination` that a download left behind
// (ended by a signal, say, before it could clean up), and every kept part
// file with its ".info" but the one at `keep` (none when empty).
void RemoveStalePartFiles(const std::string& destination, const std::string& keep = {});

}  // namespace gantrell
