// Trust anchors: the authority key records a package may install beside
// the programs. Without them a first run takes the authority entries' keys
// on trust from the key server; with them those records are the entries'
// stored keys from the start, so the key server's keys must equal them or
// be reached from them through signed links.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/built_in_providers.h"

namespace gantrell {

// The record file of each authority entry, in entry order: the entry's
// folder name on the key server followed by ".dat".
inline constexpr std::array<const char*, kAuthorityEntryCount> kAnchorFileNames = {
    "master.dat", "signone.dat", "signtwo.dat", "signthree.dat"};

using AnchorRecords = std::array<std::vector<std::uint8_t>, kAuthorityEntryCount>;

enum class AnchorRead {
  kNone,    // no anchors are installed: the folder does not exist
  kRead,    // all four records were read
  kBroken,  // the folder exists but a record is missing or unusable
};

// Where the installed programs keep the anchors: the running program's
// folder, then the way from the programs' folder to the data folder, then
// "gantrell/authority" (/usr/bin/gantrell: /usr/share/gantrell/authority).
// Following the program keeps an unpacked but not installed tree whole.
// Empty when the program's own path cannot be read.
std::string InstalledAuthorityFolder();

// Whether this build installs anchors, so that their folder must exist.
bool AuthorityKeysRequired();

// The entry's name on the key server ("master", "signone", ...).
std::string AuthorityEntryName(int index);

// Reads the four records from `folder`. kNone for an empty name or a folder
// that does not exist. kBroken, with the reason in *error, when a record is
// missing, cannot be read, is longer than a key record can be, or holds no
// key the client can decode: taking that entry's key on trust instead would
// quietly undo what the anchors are for.
AnchorRead ReadAuthorityAnchors(const std::string& folder, AnchorRecords* records,
                                std::string* error);

}  // namespace gantrell
