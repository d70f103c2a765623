// The control file of a site built by `gantrell-publish site`: writing it
// from the manifest, checking it with the client's own parser, and the
// defaults the site takes from its items and from what is already published.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "publish_keys.h"
#include "site_manifest.h"

namespace gantrell::publish {

// The largest control file clients accept.
inline constexpr std::size_t kMaxControlLength = 1000000;

// What the site learns of an item from its file.
struct ItemFacts {
  std::int32_t length = 0;
  std::int32_t stamp = 0;
  CivilDate date;
  // The SHA-256 of the file (64 lowercase hexadecimal digits), listed after
  // the stamp so that clients take no other file for the entry; empty: none.
  std::string sha256;
};

// The facts of every item, in manifest order: facts[g][i] belongs to
// manifest.groups[g].items[i].
using SiteFacts = std::vector<std::vector<ItemFacts>>;

// The stamp of an item whose manifest gives none: a hash of its bytes,
// 1 to 2^31-1. Rebuilding a site with the same file keeps its stamp, so
// clients that have it are not offered it again; any change to the file
// gives a new stamp (but for a 1 in 2^31 chance), which offers it again.
std::int32_t ContentStamp(std::string_view bytes);

// control.txt: one line of blank-separated tokens, no line end (a line
// break would become part of the final END and the file would not parse).
std::string MakeControlText(const SiteManifest& manifest, const CivilDate& list_date,
                            const CivilDate& key_made, const SiteFacts& facts);

// Reads `text` with the client's control file parser and checks that it
// gives back the provider header, groups, items and conditions it was made
// from. False with *error naming the first difference.
bool CheckControlText(const std::string& text, const SiteManifest& manifest, const SiteFacts& facts,
                      std::string* error);

// The key-made date of the control file already published in `folder`,
// when its control.sig verifies with `key_record` (the same key); false
// when there is none or it was made with another key.
bool PublishedKeyDate(const std::string& folder, const Bytes& key_record, CivilDate* date);

}  // namespace gantrell::publish
