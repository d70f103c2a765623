// One downloadable file a provider publishes, within one of its groups.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "conditions/condition.h"

namespace gantrell {

class CUpdateGroup;

class CUpdateItem {
 public:
  // A new item as a control file first lists it: not yet taken, no file on
  // disk, no condition, listed and offered in this run.
  explicit CUpdateItem(CUpdateGroup* group) : m_pGroup(group) {}

  CUpdateItem(const CUpdateItem&) = delete;
  CUpdateItem& operator=(const CUpdateItem&) = delete;

  std::string m_strName;      // the item's identity within its group
  std::string m_strLocation;  // file location below the number folder
  std::string m_strSavePath;  // custom save path; empty means the default
  std::string m_strDescription;
  std::string m_strDate;     // "day month year", blank-separated
  bool m_bSelected = false;  // chosen for the next download run
  bool m_bJustDownloaded = false;
  bool m_bSelectedSaved = false;  // m_bSelected while the configuration runs
  std::int32_t m_nNumber = 0;
  std::int32_t m_nLength = 0;
  std::int32_t m_nStamp = -2;       // published stamp; only compared for equality
  std::int32_t m_nTakenStamp = -1;  // stamp last downloaded; -1 never
  std::int32_t m_nFileStamp = -1;   // stamp of the file on disk; -1 none
  std::int32_t m_bListed = 1;       // listed by this run's control file; not stored
  std::int32_t m_nOffered = 1;
  // The SHA-256 of the file, as the item's entry in the latest accepted
  // update list gives it: 64 lowercase hexadecimal digits, or "-" for an
  // entry whose digest cannot be read (nothing matches it). Empty: the entry
  // carries none, and only the signature checks the download. Kept beside
  // the store (list_state.h) with the stamp it was listed with.
  std::string m_strSha256;
  CUpdateGroup* m_pGroup;
  std::unique_ptr<CCondition> m_pCondition;  // none: always suitable
};

}  // namespace gantrell
