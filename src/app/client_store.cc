// Loading and saving the provider store for the application object.
#include <cstdio>
#include <memory>
#include <utility>

#include "app/client_app.h"
#include "model/built_in_providers.h"
#include "model/key_file.h"
#include "model/list_state.h"
#include "model/store_format.h"
#include "model/token_reader.h"
#include "platform/atomic_file.h"
#include "platform/catalogue.h"
#include "platform/file_move.h"
#include "platform/folders.h"
#include "platform/open_file.h"
#include "platform/single_instance.h"

namespace gantrell {
namespace {

// Beside provdata.dat; held by the instance that uses this data folder.
constexpr const char* kStoreLockName = "provdata.dat.lock";

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
  return FilePtr(OpenFile(path, "rb"));
}

bool HasTokens(const std::string& text) {
  return text.find_first_not_of(' ') != std::string::npos;
}

// The name under which a file that could not be read in full is kept:
// NAME.unreadable, or NAME.unreadable-2 and on when that is taken by a
// different file. *same is set when a kept file already holds `content`.
std::string UnreadableCopyPath(const std::string& path, const std::string* content, bool* same) {
  constexpr int kMaxCopies = 99;
  *same = false;
  for (int n = 1; n <= kMaxCopies; ++n) {
    std::string candidate = path + ".unreadable";
    if (n > 1)
      candidate += "-" + std::to_string(n);
    std::string existing;
    bool missing = false;
    if (!ReadWholeFile(candidate, &existing, &missing, nullptr)) {
      if (missing)
        return candidate;
      continue;
    }
    if (content != nullptr && existing == *content) {
      *same = true;
      return candidate;
    }
  }
  return std::string();
}

// How reading one store file went.
enum class StoreRead { kMissing, kWhole, kPartly, kNotReadable };

// Reads the store text at `path` and appends its providers. *text receives
// the file's content, *error why it could not be opened.
StoreRead ReadStoreFile(const std::string& path, Time now, ProviderList* providers,
                        std::string* text, std::string* error) {
  // A folder in the file's place holds no providers to keep; a save then
  // reports that it cannot replace it.
  if (KindOfPath(path) == PathKind::kFolder)
    return StoreRead::kMissing;
  bool missing = false;
  if (!ReadWholeFile(path, text, &missing, error))
    return missing ? StoreRead::kMissing : StoreRead::kNotReadable;
  CStringViewTokenReader reader(*text);
  bool whole = false;
  ReadStore(reader, providers, now, &whole);
  return whole || !HasTokens(*text) ? StoreRead::kWhole : StoreRead::kPartly;
}

}  // namespace

void CClientApp::KeepUnreadStore(const std::string& path, const std::string& content) {
  bool same = false;
  const std::string copy = UnreadableCopyPath(path, &content, &same);
  std::string error = Tr("no free name beside it");
  if (!copy.empty() && (same || WriteFileAtomically(copy, content, &error, 0600))) {
    Message(Subst(Tr("The provider store %1 could not be read in full. The providers that could be "
                     "read are kept, and the store as it was is kept in %2"),
                  {path, copy}),
            MessageIcon::kWarning);
    return;
  }
  // Without a copy the next save would be the only store left, and it
  // holds only what could be read: keep the file as it is instead.
  m_strKeepStoreReason =
      Subst(Tr("%1 could not be read in full and no copy of it could be made (%2); it is left as "
               "it is"),
            {path, error});
  Message(Subst(Tr("The provider store %1 could not be read in full, and no copy of it could be "
                   "made: %2. It will not be replaced in this run."),
                {path, error}),
          MessageIcon::kWarning);
}

void CClientApp::KeepUnreadHandOff(const std::string& path) {
  // The hand-off file would be deleted once read: keep it under a name
  // that says why instead.
  bool same = false;
  const std::string kept = UnreadableCopyPath(path, nullptr, &same);
  if (!kept.empty() && RenameDurably(path, kept, false, nullptr) == MoveResult::kMoved) {
    Message(
        Subst(Tr("The handed-over providers in %1 could not be read in full. The providers that "
                 "could be read are added, and the file is kept as %2"),
              {path, kept}),
        MessageIcon::kWarning);
  } else {
    Message(
        Subst(Tr("The handed-over providers in %1 could not be read in full. The providers that "
                 "could be read are added, and the file is left in place"),
              {path}),
        MessageIcon::kWarning);
  }
}

std::string CClientApp::DataFilePath(std::string_view name) const {
  std::string path = m_strDataPath;
  if (!path.empty() && path.back() != '/')
    path += '/';
  path += name;
  return path;
}

void CClientApp::LoadStore() {
  m_providers.clear();
  m_strKeepStoreReason.clear();
  m_bStoreLoaded = true;
  const Time now = Now();
  const std::string store_path = DataFilePath("provdata.dat");
  const std::string keys_path = DataFilePath("keydata.dat");
  // A save that was cut short between its two files is finished first.
  CompleteInterruptedWrite(store_path);
  // Any temporary file still there belongs to a save that died before its
  // renames: every instance that writes the store holds the single-instance
  // lock from before its load until after its last save, and this one holds
  // it now, so no other save can be under way.
  RemoveStaleTemporaries(store_path);
  RemoveStaleTemporaries(keys_path);
  RemoveStaleTemporaries(DataFilePath(kListStateFile));

  std::string text;
  std::string error;
  switch (ReadStoreFile(store_path, now, &m_providers, &text, &error)) {
    case StoreRead::kMissing:
    case StoreRead::kWhole:
      break;
    case StoreRead::kPartly:
      KeepUnreadStore(store_path, text);
      break;
    case StoreRead::kNotReadable:
      m_strKeepStoreReason = Subst(Tr("%1 at start-up; it is left as it is"), {error});
      Message(
          Subst(Tr("The provider store cannot be read: %1. It will not be replaced in this run."),
                {error}),
          MessageIcon::kWarning);
      break;
  }
  bool handed_over = false;
  ProviderList handed;
  const std::string handoff_path = DataFilePath("newprovs.dat");
  const StoreRead handoff = ReadStoreFile(handoff_path, now, &handed, &text, &error);
  if (handoff == StoreRead::kWhole) {
    RemoveFile(handoff_path);
    handed_over = true;
  } else if (handoff == StoreRead::kPartly) {
    KeepUnreadHandOff(handoff_path);
    handed_over = true;
  }

  const bool fresh = GetProviderCount() < kBuiltInProviderCount;
  if (fresh) {
    // Too few entries for a usable list: start again from the built-in
    // entries.
    SetUpBuiltInProviders();
  } else if (FilePtr keys = OpenForReading(DataFilePath("keydata.dat"))) {
    ReadKeyRecords(keys.get(), 0, m_providers);
  }
  // What outside tools hand over always comes after the built-in entries,
  // however many providers it holds, so neither its providers nor the key
  // records of nkeydata.dat (which belong to them) can stand in for an
  // authority entry or the client's own provider.
  const int handoff_start = GetProviderCount();
  for (auto& provider : handed)
    m_providers.push_back(std::move(provider));
  if (fresh && !handed_over)
    return;

  const std::string handoff_keys_path = DataFilePath("nkeydata.dat");
  if (FilePtr keys = OpenForReading(handoff_keys_path)) {
    ReadKeyRecords(keys.get(), handoff_start, m_providers);
    keys.reset();
    RemoveFile(handoff_keys_path);
  }

  RefreshBuiltInAddresses();
  RemoveDuplicateProviders();
  LoadListState();
}

void CClientApp::LoadListState() {
  // Without the file (a store from before it, or a first run) every
  // provider accepts the first list it sees and its items have no digest.
  std::string text;
  bool missing = false;
  if (!ReadWholeFile(DataFilePath(kListStateFile), &text, &missing, nullptr))
    return;
  CStringTokenReader reader(std::move(text));
  ReadListState(reader, &m_providers);
}

bool CClientApp::TakeAuthorityAnchors() {
  m_replacedAuthorityKeys.assign(kAuthorityEntryCount, {});
  AnchorRecords records;
  std::string error;
  switch (ReadAuthorityAnchors(m_options.authority_folder, &records, &error)) {
    case AnchorRead::kNone:
      if (!m_options.authority_required)
        return true;
      // This build installs the records: without them every authority key
      // would be taken on trust from whatever answers as the key server.
      Message(Subst(Tr("The authority keys installed with Gantrell are missing (%1). Reinstall "
                       "Gantrell"),
                    {m_options.authority_folder.empty() ? Tr("no folder")
                                                        : m_options.authority_folder}),
              MessageIcon::kError);
      return false;
    case AnchorRead::kBroken:
      Message(Subst(Tr("The authority keys installed with Gantrell cannot be used: %1. Reinstall "
                       "Gantrell"),
                    {error}),
              MessageIcon::kError);
      return false;
    case AnchorRead::kRead:
      break;
  }
  for (int i = 0; i < kAuthorityEntryCount && i < GetProviderCount(); ++i) {
    CProvider& entry = *m_providers[static_cast<std::size_t>(i)];
    if (IsRevokedBuiltInEntry(m_providers, i))
      continue;
    const std::vector<std::uint8_t>& record = records[static_cast<std::size_t>(i)];
    const int size = static_cast<int>(record.size());
    if (entry.m_pKeyData != nullptr && entry.m_nKeyLength == size &&
        BytesEqual(record.data(), entry.m_pKeyData.get(), size)) {
      continue;
    }
    // Every run starts from the anchor: a stored key that differs counts
    // only if this run's key refresh reaches it from the anchor through
    // signed links (CheckReplacedAuthorityKeys), never because an earlier
    // run took it on trust or a hand-off file supplied it.
    if (entry.m_pKeyData != nullptr) {
      m_replacedAuthorityKeys[static_cast<std::size_t>(i)].assign(
          entry.m_pKeyData.get(), entry.m_pKeyData.get() + entry.m_nKeyLength);
      // Fetched in this run, due or not, so that the chain is walked now.
      entry.m_nVerifyState = 4;
    }
    entry.SetKeyData(record.data(), size);
    entry.SetPublicKey(record.data(), size);
  }
  return true;
}

void CClientApp::CheckReplacedAuthorityKeys() {
  for (std::size_t i = 0; i < m_replacedAuthorityKeys.size() && i < m_providers.size(); ++i) {
    const std::vector<std::uint8_t> replaced = std::exchange(m_replacedAuthorityKeys[i], {});
    if (replaced.empty())
      continue;
    const CProvider& entry = *m_providers[i];
    bool reached = false;
    if (entry.m_nFetchStatus == 0) {
      const std::vector<std::uint8_t> now(entry.m_pKeyData.get(),
                                          entry.m_pKeyData.get() + entry.m_nKeyLength);
      reached = now == replaced;
      for (const std::vector<std::uint8_t>& record : entry.m_chainRecords)
        reached = reached || record == replaced;
    }
    if (!reached) {
      Message(Subst(Tr("The stored key of the authority entry %1 is not reached from the key "
                       "installed with Gantrell; the installed key replaces it."),
                    {AuthorityEntryName(static_cast<int>(i))}),
              MessageIcon::kWarning);
    }
  }
  m_replacedAuthorityKeys.clear();
}

void CClientApp::RemoveDuplicateProviders() {
  ProviderList kept;
  for (auto& provider : m_providers) {
    bool seen = false;
    for (const auto& earlier : kept) {
      if (earlier->m_strAddress == provider->m_strAddress) {
        seen = true;
        break;
      }
    }
    if (!seen)
      kept.push_back(std::move(provider));
  }
  m_providers = std::move(kept);
}

bool CClientApp::SaveStore(std::string* error) {
  if (!m_strKeepStoreReason.empty()) {
    if (error != nullptr)
      *error = m_strKeepStoreReason;
    return false;
  }
  std::string reason;
  const bool saved =
      WriteFilesAtomically({{DataFilePath("provdata.dat"), FormatStore(m_providers)},
                            {DataFilePath("keydata.dat"), FormatKeyFile(m_providers)},
                            {DataFilePath(kListStateFile), FormatListState(m_providers)}},
                           &reason);
  if (!saved && error != nullptr)
    *error = reason;
  return saved;
}

FileLock::TryResult CClientApp::TakeStoreLock(std::string* holder_channel) {
  // Instances started with different runtime folders (a cron job, an ssh
  // session beside the desktop) share no lock there, but they share this
  // store: without this lock each would overwrite the other's saves, and
  // the sweep at load could delete the other's save in progress.
  const std::string lock_path = DataFilePath(kStoreLockName);
  m_pStoreLock = std::make_unique<FileLock>();
  std::string error;
  const FileLock::TryResult result = m_pStoreLock->TryLock(lock_path, &error);
  switch (result) {
    case FileLock::TryResult::kTaken:
      // A later instance with another runtime folder finds this one's
      // hand-off channel here.
      m_pStoreLock->WriteNote(HandOffFolder(nullptr) + "\n");
      break;
    case FileLock::TryResult::kBusy: {
      m_pStoreLock.reset();
      const std::string note = FileLock::ReadNote(lock_path);
      *holder_channel = note.substr(0, note.find('\n'));
      break;
    }
    case FileLock::TryResult::kFailed:
      m_pStoreLock.reset();
      Message(Subst(Tr("Unable to lock the data folder: %1"), {error}), MessageIcon::kError);
      break;
  }
  return result;
}

void CClientApp::SaveChanges() {
  if (!m_bStoreLoaded || !m_strKeepStoreReason.empty())
    return;
  std::string error;
  if (SaveStore(&error) || m_bSaveFailureShown)
    return;
  m_bSaveFailureShown = true;
  Message(Subst(Tr("Unable to save the provider store: %1"), {error}), MessageIcon::kError);
}

}  // namespace gantrell
