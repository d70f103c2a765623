// The application object: the single owner of the provider list, the
// settings and the platform services the client runs on, and the start-up
// sequence. Start here when reading the code.
//
// Threads: the interface thread runs start-up and every dialog; at most one
// background thread at a time (a fetch or a registration) changes the model
// while the interface waits behind the "Please Wait" dialog.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/authority_anchors.h"
#include "app/command_line.h"
#include "app/frontend.h"
#include "app/wait_handshake.h"
#include "conditions/condition.h"
#include "model/provider.h"
#include "platform/file_lock.h"
#include "platform/http.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace gantrell {

class CDownloadJob;
class InstanceLock;
class OsVersion;

// The per-user settings section, under HKEY_CURRENT_USER
// "Software\\Gantrell\\gantrell".
inline constexpr const char* kSettingsSection = "mainpath";
// The program name the settings key is named after.
inline constexpr const char* kProgramName = "gantrell";
// The machine-wide settings key (HKEY_LOCAL_MACHINE).
inline constexpr const char* kMachineSettingsKey = "Software\\Gantrell\\gantrell\\mainpath";
// Where the key-installation message sends users.
inline constexpr const char* kSupportContact = "support@gantrell.org";

// How a run of the start-up sequence ended.
enum class StartupResult {
  kEnded,      // the main window closed, or a silent check found nothing
  kFailed,     // a start-up failure was reported
  kCancelled,  // the user cancelled the start-up wait; nothing was written
  kHandedOff,  // another instance runs; the addresses went to it
};

// What became of an address offered from outside the client.
enum class OfferOutcome {
  kRegistered,  // the user agreed (or it was known); RegisterProvider ran
  kCancelled,   // the user agreed, then cancelled the registration's wait
  kRefused,     // not a provider address; reported and taken out of "newprov"
  kDeclined,    // the user said No; taken out of "newprov" for good
  kKept,        // nobody could answer: it waits in "newprov" for a later start
};

// Choices a frontend may make before start-up (the console client's
// options); the windowed client leaves them as they are.
struct StartupOptions {
  // Use this data folder instead of the stored or computed one. Only the
  // folder changes: a new user is still refused under "Multiuser" "No",
  // and a first run still stores it as "default" and "dlpath".
  std::string data_folder;
  bool offline = false;      // no fetch at start-up
  bool force_fetch = false;  // fetch every provider, due or not
  // Provider addresses offered besides the file argument, separated by
  // " * " (the console client's "add"); handed to a running instance like
  // the file's text.
  std::string offered_providers;
  // The installed authority key records (authority_anchors.h); empty for
  // none.
  std::string authority_folder = InstalledAuthorityFolder();
  // A start without usable records there fails (a build that installs
  // them); otherwise a missing folder means none are installed.
  bool authority_required = AuthorityKeysRequired();
  HttpOptions http;
};

class CClientApp {
 public:
  // The registry and the version layer are borrowed and must outlive the
  // application object. The per-user settings key is named after
  // `program_name` (the executable's base name).
  CClientApp(Registry& registry, const OsVersion& os_version,
             std::string program_name = kProgramName);
  ~CClientApp();

  CClientApp(const CClientApp&) = delete;
  CClientApp& operator=(const CClientApp&) = delete;

  // --- Start-up and exit (startup.cc) ---

  // The whole start-up sequence: command line, data folder, single
  // instance, store, fetch, revocations, key check, main window, store.
  StartupResult InitInstance(const std::vector<std::string>& arguments);
  // Frees the providers and the instance guard; waits for a background
  // thread still running.
  void ReleaseAll();
  // Sanity check of the four authority entries; reports and returns false
  // when they are missing or failed their key refresh.
  bool CheckKeyList();

  // --- Background jobs (background_jobs.cc) ---

  // Fetches every provider behind the wait dialog (or, silently, waits for
  // the fetch); 1 to go on, 2 when the user cancelled.
  int StartupFetch();
  // Re-fetches one provider (or all with -1) behind the wait dialog; the
  // wait dialog's result.
  //
  // These and RegisterProvider return only once the background thread has
  // ended, also after a Cancel (the fetch then closes its transfers and
  // stops at once), so the model is the interface's own again.
  int FetchProvider(int index);
  // Tells the user of every provider the last fetch of `index` (-1: all)
  // fetched whose update list was refused as older than the one already
  // seen (OlderListText, a warning).
  void ReportOlderLists(int index);
  // The background thread of a fetch: RunFetch, PruneAll, then the end
  // notice to whoever waits.
  void RefreshThreadProc(int index);
  // Fetches provider `index` (-1: every due provider) on this thread.
  void RunFetch(int index);
  // Drops groups and items no provider publishes any more (pruning.h).
  void PruneAll();
  // Waits for the background thread, if one was started and not yet
  // waited for.
  void JoinWorkThread();

  // --- Registration (registration.cc) ---

  // Adds the provider at `address` if its control file verifies: 1 when
  // the address is already known, else the wait dialog's result (1, or 2
  // when cancelled).
  int RegisterProvider(const std::string& address);
  void RegistrationThreadProc(int provider_count);
  // Removes every provider the master entry lists as revoked.
  void ApplyRevocations();
  // Offers every address in `*pending` (separated by " * ") with
  // OfferProvider, emptying it.
  void RegisterPendingProviders(std::string* pending);
  // An address that arrived from outside the client (a file argument, a
  // hand-off, "newprov") is registered only once the user agreed, since
  // anyone can put one in a downloaded file: it is trimmed and checked
  // (AddressProblem), and then the user is asked "Subscribe to updates
  // from ADDRESS?" (No the default). A known address is registered (that
  // is, taken out of "newprov") without a question. Interface thread only.
  OfferOutcome OfferProvider(const std::string& address);

  // --- Ending on request (background_jobs.cc) ---

  // The program was asked to end (a logout, a service manager stopping
  // it): ends the run as a Cancel would. A fetch or registration under way
  // stops, and its wait ends with 2; a download run stops after the item
  // in progress (what was verified and filed stays taken, and the run's
  // end writes the store); the frontend closes its dialogs and the main
  // window, after which start-up writes the store as usual. Later waits
  // and download runs end at once. Any thread.
  void RequestEnd();
  bool end_requested() const { return m_bEndRequested.load(); }

  // --- Downloads (background_jobs.cc) ---

  // Downloads every selected item behind the "Downloading" dialog; the
  // dialog's result (1 when the run ended). The destinations written are
  // added to *written when given. When an item needs the default location
  // and no download folder is set, the folder is asked for first, on the
  // calling (interface) thread; a Cancel there, or an end requested
  // before the run, ends it at once with nothing downloaded (2). The store
  // is written when the run ends.
  int RunDownloads(std::vector<std::string>* written = nullptr);

  // --- Providers and items (client_app.cc) ---

  int GetProviderCount() const { return static_cast<int>(m_providers.size()); }
  // The provider at `index`, or none outside 0 .. count-1.
  CProvider* GetProvider(int index) const;
  // Empties the list and appends the five built-in entries.
  void SetUpBuiltInProviders();
  // Gives entries 0 to 4 the current built-in addresses (setting the
  // entries up first when fewer than five are held).
  void RefreshBuiltInAddresses();

  // Whether the item is offered: its group and provider are scanned, its
  // date lies no more than one whole day before the provider's baseline,
  // its published stamp was not taken yet and its condition holds. An item
  // whose date does not hold three numbers is not pending.
  bool IsItemPending(const CUpdateItem& item) const;
  // True as soon as any item of the client's own provider or of a user's
  // provider (index 4 onward) is pending.
  bool HasPendingItems() const;

  // Reads a text value (REG_SZ, or REG_EXPAND_SZ with its %NAME% references
  // expanded). Returns false, leaving *out alone, when the key or value
  // cannot be read or has another type.
  bool ReadRegistryString(RegRoot root, std::string_view sub_key, std::string_view value_name,
                          std::string* out) const;

  // --- Store (client_store.cc) ---

  // Reads the provider store and the key files of the main data folder,
  // takes in and deletes the hand-off files newprovs.dat and nkeydata.dat,
  // and falls back to the five built-in entries when fewer are held. A
  // missing file is skipped. First it finishes a save that was cut short
  // and removes the temporary files of saves that died; that relies on the
  // caller holding the single-instance lock, which every instance takes
  // before its load and keeps past its last save.
  //
  // A store or hand-off file that cannot be read in full is kept: a copy of
  // the store (a hand-off file itself) stays beside it as NAME.unreadable
  // (or NAME.unreadable-2 and on), and a message names it. A store that
  // cannot be read at all, or whose copy cannot be made, is not replaced by
  // this run's saves, and a message says so.
  void LoadStore();
  // The last step of LoadStore: the list dates and item digests kept in
  // listdata.dat (model/list_state.h), given to the providers loaded. A
  // missing or unreadable file gives none.
  void LoadListState();
  // Writes provdata.dat, keydata.dat and listdata.dat anew. All are written
  // to temporary files first and renamed into place only when all are
  // complete, so a failed or interrupted save leaves the previous store as
  // it was. Returns
  // false, with the reason in *error when given, on failure, and when the
  // load found a store that must be kept as it is.
  bool SaveStore(std::string* error = nullptr);
  // Writes the store after a change that must outlast a crash (a
  // registration, the end of a download run, Configure OK, Remove, a move,
  // a delete), so that the run's changes are not kept in memory alone
  // until the main window closes. The first failure of the run is shown;
  // later ones are not, since the save at the end reports again. Nothing
  // is shown when the load found a store that must stay as it is (it said
  // so then), or before LoadStore. Interface thread, with no background
  // job running.
  void SaveChanges();
  // Starts every authority entry from the installed record of
  // m_options.authority_folder, so that its key is never taken on trust: an
  // entry whose stored record differs gets the installed one, and the
  // stored one is kept aside for CheckReplacedAuthorityKeys. One the master
  // has revoked gets none. False, reported, when records are installed but
  // unusable, or required (m_options.authority_required) and missing.
  bool TakeAuthorityAnchors();
  // After the start-up fetch: an entry whose stored record the anchor
  // replaced keeps the key it reached from the anchor, and is reported by
  // name unless the key refresh reached the old record too (it was a
  // rotation signed from the anchor, not a key taken on trust).
  void CheckReplacedAuthorityKeys();
  // Drops every provider whose address equals that of an earlier one.
  void RemoveDuplicateProviders();
  // The full path of a file in the main data folder.
  std::string DataFilePath(std::string_view name) const;

  // --- Save paths (save_paths.cc) ---

  // The full path of the item's file in the default layout (download
  // folder, provider folder, item number, location), creating the folders
  // on the way; empty when there is no place for it: the download folder
  // is unknown or gone, a folder cannot be made, or the location would
  // leave the download folder. Asks for the download folder when none is
  // set, so only the interface thread may call it.
  std::string GetItemSavePath(const CUpdateItem& item);
  // The same path, for background threads: never asks, and is empty when
  // no download folder is set (an item cannot have a file below a folder
  // that was never chosen). Any thread.
  std::string FindItemSavePath(const CUpdateItem& item);
  // The path of a file the item may already have in the default layout,
  // for removing what is there: never asks and never makes a folder, and
  // is empty unless the item's number folder exists. Any thread.
  std::string ExistingItemSavePath(const CUpdateItem& item);
  // Whether "dlpath" names a download folder.
  bool HasDownloadFolder() const;
  // Asks for the download folder until an existing one is given, stores it
  // as "dlpath" (a relative folder made absolute against the current
  // directory) and returns it; "?" when the user cancelled the prompt or
  // the frontend cannot ask (*cancelled, when given, tells which).
  // Interface thread only.
  std::string AskDownloadFolder();
  std::string AskDownloadFolder(bool* cancelled);
  // The item's file: its custom save path, else its default one.
  // Interface thread only (may ask, as GetItemSavePath).
  std::string EffectiveSavePath(const CUpdateItem& item);

  // --- Services ---

  // The frontend through which the core talks to the user; borrowed.
  // Without one, nothing is shown and questions go unanswered.
  void SetFrontend(Frontend* frontend) { m_pFrontend = frontend; }
  Frontend* frontend() const { return m_pFrontend; }
  // Shows a message through the frontend, if there is one.
  void Message(const std::string& text, MessageIcon icon);

  // Where a control file parse of this run gets the time, the random draw
  // and the items' default save paths.
  ControlFileContext MakeControlFileContext();
  // A draw from 0 to 32767 from the generator seeded once per run.
  int DrawCheckSpread();
  // Fixes the generator, for tests and reproducible runs.
  void SeedDraws(std::uint32_t seed) { m_random.seed(seed); }

  ConditionEnv conditions() const { return ConditionEnv{m_registry, m_osVersion}; }
  Registry& registry() const { return m_registry; }
  const OsVersion& os_version() const { return m_osVersion; }
  Profile& profile() { return m_profile; }

  // --- State ---

  bool m_bLockProviders = false;  // "-pr": no adding or deleting providers
  bool m_bAllowConfigure = true;  // cleared by "-c"
  // All providers: 0 to 3 the authority key entries, 4 the client's own
  // update provider, 5 onward the user's providers.
  std::vector<std::unique_ptr<CProvider>> m_providers;
  bool m_bSilent = false;      // "-s": a silent check is running
  // "-s" was given: the run was started by the timer, not by the user, so
  // the addresses waiting at its start are not offered (see
  // TakeHandedOffProviders).
  bool m_bStartedSilent = false;
  bool m_bDelayStart = false;  // "-p"
  // The main data folder; every data file is opened by its full path in it.
  std::string m_strDataPath;
  // Provider addresses offered to this instance and not yet registered,
  // separated by " * ".
  std::string m_strPendingProviders;
  // The handshake of the background job with the wait dialog.
  CWaitHandshake m_wait;
  StartupOptions m_options;

 private:
  // Starts `job` as the background thread once any previous one ended,
  // with the handshake reset in between.
  void StartWorkThread(std::function<void()> job);
  // Runs the wait dialog through the frontend (without one, just waits)
  // and then waits for the background thread; the dialog's result.
  int RunWaitDialog();
  // Whether a download of the selected items needs "dlpath" and it is unset.
  bool NeedsDownloadFolder() const;
  // Steps of InitInstance.
  // Chooses m_strDataPath: `chosen` when not empty, else the stored or
  // the computed folder. False when the run may not go on (reported).
  bool ChooseDataFolder(bool nine_x, const std::string& chosen);
  // SaveStore at the end of a run; a failure is shown as an error.
  void SaveStoreOrReport();
  // Takes the lock beside provdata.dat (client_store.cc). kBusy: another
  // instance uses this data folder, and *holder_channel is the folder of
  // its hand-off channel when it left one; kFailed: reported.
  FileLock::TryResult TakeStoreLock(std::string* holder_channel);
  // Steps of LoadStore for a store file and a hand-off file that could not
  // be read in full (client_store.cc).
  void KeepUnreadStore(const std::string& path, const std::string& content);
  void KeepUnreadHandOff(const std::string& path);
  // GetItemSavePath, FindItemSavePath and ExistingItemSavePath.
  enum class SavePathLookup { kMayAsk, kNeverAsk, kExistingOnly };
  std::string ItemSavePath(const CUpdateItem& item, SavePathLookup lookup);

  Registry& m_registry;
  const OsVersion& m_osVersion;
  Profile m_profile;
  Frontend* m_pFrontend = nullptr;
  std::mt19937 m_random;
  std::thread m_pWorkThread;
  std::unique_ptr<InstanceLock> m_pMasterLock;
  // The lock beside provdata.dat: one instance per data folder, whatever
  // runtime folder each was started with.
  std::unique_ptr<FileLock> m_pStoreLock;
  // Set by RequestEnd; read by the background jobs and the waits.
  std::atomic<bool> m_bEndRequested{false};
  // The download run in progress, for RequestEnd; guarded by m_jobMutex.
  std::mutex m_jobMutex;
  CDownloadJob* m_pDownloadJob = nullptr;
  // Why SaveStore must leave the store file as it is; empty when it may
  // replace it.
  std::string m_strKeepStoreReason;
  // Whether LoadStore ran: before it there is no store of this run to
  // write, and SaveChanges does nothing.
  bool m_bStoreLoaded = false;
  // Whether SaveChanges has shown a failure in this run.
  bool m_bSaveFailureShown = false;
  // The stored records of authority entries that their anchor replaced at
  // this start; empty for the others.
  std::vector<std::vector<std::uint8_t>> m_replacedAuthorityKeys;
};

}  // namespace gantrell
