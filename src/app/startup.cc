// The start-up sequence, the key-list check and the clean-up at exit.
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/client_app.h"
#include "app/hand_off.h"
#include "model/built_in_providers.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/network_init.h"
#include "platform/open_file.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/single_instance.h"

namespace gantrell {
namespace {

constexpr const char* kNotSet = "????";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kWindowTitle = "Gantrell";
constexpr int kMasterLockWaitMs = 50;
constexpr auto kDelayedStart = std::chrono::milliseconds(10000);

bool FileReadable(const std::string& path) {
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr)
    return false;
  std::fclose(file);
  return true;
}

std::string CurrentFolder() {
  const std::string folder = WorkingFolder();
  return folder.empty() ? std::string(".") : folder;
}

}  // namespace

bool CClientApp::ChooseDataFolder(bool nine_x, const std::string& chosen) {
  std::string multiuser;
  const bool multiuser_allowed =
      !(ReadRegistryString(RegRoot::kLocalMachine, kMachineSettingsKey, "Multiuser", &multiuser) &&
        multiuser == "No");
  // A folder chosen by the frontend (the console's --data-dir) stands in
  // for the computed one and for the stored one; the policy and the
  // first-run settings apply to it as to any other.
  std::string computed = chosen;
  if (chosen.empty()) {
    computed = CurrentFolder();
    if (!nine_x) {
      std::string app_data;
      if (!ReadRegistryString(RegRoot::kCurrentUser, kShellFolders, "AppData", &app_data)) {
        Message(Tr("Unable to read from Registry"), MessageIcon::kError);
        return false;
      }
      computed = app_data + "/Gantrell";
    }
  }
  m_strDataPath = computed;

  std::string error;
  const std::string stored = m_profile.GetProfileString(kSettingsSection, "default", kNotSet);
  if (stored != kNotSet) {
    if (chosen.empty()) {
      m_strDataPath = stored;
      if (!FileReadable(DataFilePath("provdata.dat"))) {
        m_strDataPath = computed;
        m_profile.WriteProfileString(kSettingsSection, "default", computed, &error);
      }
    }
  } else {
    if (!multiuser_allowed) {
      Message(Tr("Not permitted for this user"), MessageIcon::kError);
      return false;
    }
    m_profile.WriteProfileString(kSettingsSection, "default", computed, &error);
    m_profile.WriteProfileString(kSettingsSection, "dlpath", computed, &error);
  }
  // A fresh user has no data folder yet; without it no store could be
  // written.
  CreateFolders(m_strDataPath, 0700, nullptr);
  return true;
}

StartupResult CClientApp::InitInstance(const std::vector<std::string>& arguments) {
  if (!InitNetworking()) {
    Message(Tr("Windows sockets initialization failed."), MessageIcon::kError);
    return StartupResult::kFailed;
  }
  const CommandLine line = ParseCommandLine(arguments);
  m_bDelayStart = line.delay_start;
  m_bSilent = line.silent;
  m_bStartedSilent = line.silent;
  m_bAllowConfigure = line.allow_configure;
  m_bLockProviders = line.lock_providers;

  OsVersionInfo version;
  if (!m_osVersion.Query(&version)) {
    Message(Tr("Unable to get windows version information"), MessageIcon::kError);
    return StartupResult::kFailed;
  }

  m_pMasterLock = std::make_unique<InstanceLock>("GantrellMaster");
  std::string lock_error;
  bool first_instance = m_pMasterLock->TryAcquire(kMasterLockWaitMs, &lock_error);
  if (!first_instance && !lock_error.empty()) {
    Message(lock_error, MessageIcon::kError);
    ReleaseAll();
    return StartupResult::kFailed;
  }

  if (!ChooseDataFolder(version.platform_id == kVerPlatformWin32Windows, m_options.data_folder)) {
    ReleaseAll();
    return StartupResult::kFailed;
  }
  // The first instance of this runtime folder must also be the only one
  // on its data folder.
  std::string holder_channel;
  if (first_instance) {
    const FileLock::TryResult store_lock = TakeStoreLock(&holder_channel);
    if (store_lock == FileLock::TryResult::kFailed) {
      ReleaseAll();
      return StartupResult::kFailed;
    }
    first_instance = store_lock == FileLock::TryResult::kTaken;
  }

  if (m_bDelayStart)
    std::this_thread::sleep_for(kDelayedStart);
  m_strPendingProviders = ReadPendingProviders(line.file_argument);
  if (!m_options.offered_providers.empty()) {
    m_strPendingProviders = m_strPendingProviders.empty()
                                ? m_options.offered_providers
                                : m_strPendingProviders + " * " + m_options.offered_providers;
  }

  if (!first_instance) {
    // Hand the addresses to the running instance, beside any that wait
    // there already. Its window may not be up yet: it reads "newprov"
    // again when it opens, and what it does not register waits for its
    // next start.
    if (m_strPendingProviders.size() > 2) {
      std::string error;
      if (!AddHandedOffAddresses(m_profile, m_strPendingProviders, &error)) {
        Message(Subst(Tr("Unable to hand the addresses over: %1"), {error}), MessageIcon::kError);
        ReleaseAll();
        return StartupResult::kFailed;
      }
      // The instance that holds the data folder may listen in another
      // runtime folder; it said where.
      if (holder_channel.empty())
        NotifyHandOff(kWindowTitle);
      else
        NotifyHandOffIn(holder_channel, kWindowTitle);
    }
    ReleaseAll();
    return StartupResult::kHandedOff;
  }

  const std::string handed = ReadHandedOffAddresses(m_profile);
  if (!handed.empty()) {
    m_strPendingProviders =
        m_strPendingProviders.empty() ? handed : handed + " * " + m_strPendingProviders;
  }

  LoadStore();
  if (!TakeAuthorityAnchors()) {
    ReleaseAll();
    return StartupResult::kFailed;
  }

  if (!m_options.offline) {
    if (m_options.force_fetch) {
      for (auto& provider : m_providers)
        provider->m_nVerifyState = 4;
    }
    if (StartupFetch() != 1) {
      // The fetch has stopped by now (StartupFetch waits for it). Nothing
      // is written.
      ReleaseAll();
      return StartupResult::kCancelled;
    }
  }
  CheckReplacedAuthorityKeys();
  ApplyRevocations();
  if (!CheckKeyList()) {
    ReleaseAll();
    return StartupResult::kFailed;
  }

  // A silent check that ends without a window tells nothing; the refused
  // provider stays due, so the next run that shows itself tells it.
  if (m_bSilent) {
    PendingAnswer answer = PendingAnswer::kLater;
    if (HasPendingItems())
      answer = m_pFrontend != nullptr ? m_pFrontend->OnPendingFound(*this)
                                      : PendingAnswer::kShowWindow;
    if (answer == PendingAnswer::kUserAsked)
      m_bStartedSilent = false;
    if (answer == PendingAnswer::kLater) {
      // No window asks about the addresses offered: they wait in "newprov"
      // for a start by the user.
      if (m_strPendingProviders.size() > 2)
        AddHandedOffAddresses(m_profile, m_strPendingProviders, nullptr);
      SaveStoreOrReport();
      ReleaseAll();
      return StartupResult::kEnded;
    }
    m_bSilent = false;
  }
  ReportOlderLists(-1);

  // Asked to end before the window opened: what start-up fetched is kept.
  if (m_pFrontend != nullptr && !m_bEndRequested)
    m_pFrontend->RunMainWindow(*this);
  JoinWorkThread();
  SaveStoreOrReport();
  ReleaseAll();
  return StartupResult::kEnded;
}

void CClientApp::SaveStoreOrReport() {
  // The run's changes (registrations, downloads) live only in the store;
  // losing them silently would look like success.
  std::string error;
  if (!SaveStore(&error))
    Message(Subst(Tr("Unable to save the provider store: %1"), {error}), MessageIcon::kError);
}

bool CClientApp::CheckKeyList() {
  if (GetProviderCount() < kAuthorityEntryCount) {
    Message(Tr("Key list appear corrupt. Reinstall Gantrell"), MessageIcon::kError);
    return false;
  }
  for (int i = 0; i < kAuthorityEntryCount; ++i) {
    const int status = m_providers[static_cast<std::size_t>(i)]->m_nFetchStatus;
    if (status == 5 || status == 6) {
      Message(Subst(Tr("Your key installation appears invalid.\n Contact Gantrell on %1"),
                    {kSupportContact}),
              MessageIcon::kError);
      return false;
    }
  }
  return true;
}

void CClientApp::ReleaseAll() {
  JoinWorkThread();
  while (!m_providers.empty())
    m_providers.pop_back();
  // No save may follow: the lock that makes it safe goes next.
  m_bStoreLoaded = false;
  m_pStoreLock.reset();
  if (m_pMasterLock) {
    m_pMasterLock->Release();
    m_pMasterLock.reset();
  }
}

}  // namespace gantrell
