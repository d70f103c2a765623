// The application object: the single owner of the provider list and of the
// platform services the client runs on. Start here when reading the code.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "conditions/condition.h"
#include "model/provider.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace gantrell {

class Frontend;
class OsVersion;

// The per-user settings section, under HKEY_CURRENT_USER
// "Software\Gantrell\gantrell".
inline constexpr const char* kSettingsSection = "mainpath";
// The program name the settings key is named after.
inline constexpr const char* kProgramName = "gantrell";

class CClientApp {
 public:
  // The registry and the version layer are borrowed and must outlive the
  // application object.
  CClientApp(Registry& registry, const OsVersion& os_version);
  ~CClientApp();

  CClientApp(const CClientApp&) = delete;
  CClientApp& operator=(const CClientApp&) = delete;

  int GetProviderCount() const { return static_cast<int>(m_providers.size()); }
  // The provider at `index`, or none outside 0 .. count-1.
  CProvider* GetProvider(int index) const;

  // Empties the list and appends the five built-in entries.
  void SetUpBuiltInProviders();
  // Gives entries 0 to 4 the current built-in addresses (setting the
  // entries up first when fewer than five are held).
  void RefreshBuiltInAddresses();

  // The frontend through which the core talks to the user; borrowed. Without
  // one, nothing is shown and questions go unanswered.
  void SetFrontend(Frontend* frontend) { m_pFrontend = frontend; }
  Frontend* frontend() const { return m_pFrontend; }

  // The full path of the item's file in the default layout (download
  // folder, provider folder, item number, location), creating the folders
  // on the way; empty when there is no place for it: the download folder
  // is unknown or gone, a folder cannot be made, or the location would
  // leave the download folder. Asks for the download folder when none is
  // set.
  std::string GetItemSavePath(const CUpdateItem& item);
  // Asks for the download folder until an existing one is given, stores it
  // as "dlpath" and returns it; "?" when the frontend cannot ask.
  std::string AskDownloadFolder();

  // Where a control file parse of this run gets the time, the random draw
  // and the items' default save paths.
  ControlFileContext MakeControlFileContext();
  // A draw from 0 to 32767 from the generator seeded once per run.
  int DrawCheckSpread();
  // Fixes the generator, for tests and reproducible runs.
  void SeedDraws(std::uint32_t seed) { m_random.seed(seed); }

  // Reads a text value (REG_SZ, or REG_EXPAND_SZ with its %NAME% references
  // expanded). Returns false, leaving *out alone, when the key or value
  // cannot be read or has another type.
  bool ReadRegistryString(RegRoot root, std::string_view sub_key, std::string_view value_name,
                          std::string* out) const;

  // Whether the item is offered: its group and provider are scanned, its
  // date lies no more than one whole day before the provider's baseline,
  // its published stamp was not taken yet and its condition holds. An item
  // whose date does not hold three numbers is not pending.
  bool IsItemPending(const CUpdateItem& item) const;
  // True as soon as any item of the client's own provider or of a user's
  // provider (index 4 onward) is pending.
  bool HasPendingItems() const;

  // Reads the provider store and the key files of the main data folder,
  // takes in and deletes the hand-off files newprovs.dat and nkeydata.dat,
  // and falls back to the five built-in entries when fewer are held. A
  // missing file is skipped; nothing is reported.
  void LoadStore();
  // Writes provdata.dat and keydata.dat anew. Both are written to temporary
  // files first and renamed into place only when both are complete, so a
  // failed or interrupted save leaves the previous store as it was. Returns
  // false, with the reason in *error when given, on failure.
  bool SaveStore(std::string* error = nullptr);
  // Drops every provider whose address equals that of an earlier one.
  void RemoveDuplicateProviders();

  // The full path of a file in the main data folder.
  std::string DataFilePath(std::string_view name) const;

  ConditionEnv conditions() const { return ConditionEnv{m_registry, m_osVersion}; }
  Registry& registry() const { return m_registry; }
  const OsVersion& os_version() const { return m_osVersion; }

  // All providers: 0 to 3 the authority key entries, 4 the client's own
  // update provider, 5 onward the user's providers.
  std::vector<std::unique_ptr<CProvider>> m_providers;
  // The main data folder; every data file is opened by its full path in it.
  std::string m_strDataPath;

 private:
  Registry& m_registry;
  const OsVersion& m_osVersion;
  Profile m_profile;
  Frontend* m_pFrontend = nullptr;
  std::mt19937 m_random;
};

}  // namespace gantrell
