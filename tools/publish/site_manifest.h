// The manifest of `gantrell-publish site`: a small hand-written text that
// describes a provider's site. docs/publish-manifest.md has the format and a
// full example.
//
// Lines are "key = value", "[group "name"]" or "[item "name"]"; blank lines
// and lines starting with '#' or ';' are ignored. Provider keys come before
// the first section, items follow the group they belong to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "civil_date.h"

namespace gantrell::publish {

struct ManifestItem {
  int line = 0;  // of its [item] header
  std::string name;
  std::string file;  // resolved against the manifest's folder
  int file_line = 0;
  std::int32_t number = -1;
  std::string location;
  std::string description;
  std::optional<CivilDate> date;
  std::optional<std::int32_t> stamp;
  std::string condition;  // canonical condition text; empty for none
};

struct ManifestGroup {
  int line = 0;
  std::string name;
  std::vector<ManifestItem> items;
};

struct SiteManifest {
  std::string name;
  std::string key_file;  // resolved against the manifest's folder
  std::int32_t key_id = 1;
  std::int32_t check_interval = 7;
  std::optional<CivilDate> list_date;
  std::optional<CivilDate> key_made;
  int key_made_line = 0;
  std::string address;
  std::vector<ManifestGroup> groups;
};

// Parses the manifest text read from `path` (relative file names in it are
// taken from the folder of `path`). Returns false with *error of the form
// "path:line: message" for the first fault: a malformed line, an unknown or
// repeated key, a missing required key, a bad number, date or condition, a
// text the control file cannot carry, a duplicate group, item or number.
bool ParseManifest(const std::string& path, std::string_view text, SiteManifest* manifest,
                   std::string* error);

}  // namespace gantrell::publish
