// Loading and saving the provider store for the application object.
#include <cstdio>
#include <memory>

#include "app/client_app.h"
#include "model/built_in_providers.h"
#include "model/key_file.h"
#include "model/store_format.h"
#include "model/token_reader.h"
#include "platform/atomic_file.h"

namespace gantrell {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
  return FilePtr(std::fopen(path.c_str(), "rb"));
}

}  // namespace

std::string CClientApp::DataFilePath(std::string_view name) const {
  std::string path = m_strDataPath;
  if (!path.empty() && path.back() != '/')
    path += '/';
  path += name;
  return path;
}

void CClientApp::LoadStore() {
  m_providers.clear();
  const Time now = Now();
  // A save that was cut short between its two files is finished first.
  CompleteInterruptedWrite(DataFilePath("provdata.dat"));

  if (FilePtr store = OpenForReading(DataFilePath("provdata.dat"))) {
    CFileTokenReader reader(store.get());
    ReadStore(reader, &m_providers, now);
  }
  const int stored_count = GetProviderCount();

  bool handed_over = false;
  const std::string handoff_path = DataFilePath("newprovs.dat");
  if (FilePtr handoff = OpenForReading(handoff_path)) {
    CFileTokenReader reader(handoff.get());
    ReadStore(reader, &m_providers, now);
    handoff.reset();
    std::remove(handoff_path.c_str());
    handed_over = true;
  }

  // The key records of nkeydata.dat belong to the providers appended from
  // newprovs.dat, so they apply from the first of those.
  int handoff_start = stored_count;
  if (GetProviderCount() < kBuiltInProviderCount) {
    // Too few entries for a usable list: start again from the built-in
    // entries, but keep what outside tools handed over, since their files
    // are already gone.
    ProviderList appended;
    for (int i = stored_count; i < GetProviderCount(); ++i) {
      appended.push_back(std::move(m_providers[static_cast<std::size_t>(i)]));
    }
    SetUpBuiltInProviders();
    handoff_start = GetProviderCount();
    for (auto& provider : appended)
      m_providers.push_back(std::move(provider));
    if (!handed_over)
      return;
  } else if (FilePtr keys = OpenForReading(DataFilePath("keydata.dat"))) {
    ReadKeyRecords(keys.get(), 0, m_providers);
  }

  const std::string handoff_keys_path = DataFilePath("nkeydata.dat");
  if (FilePtr keys = OpenForReading(handoff_keys_path)) {
    ReadKeyRecords(keys.get(), handoff_start, m_providers);
    keys.reset();
    std::remove(handoff_keys_path.c_str());
  }

  RefreshBuiltInAddresses();
  RemoveDuplicateProviders();
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
  std::string reason;
  const bool saved =
      WriteFilesAtomically({{DataFilePath("provdata.dat"), FormatStore(m_providers)},
                            {DataFilePath("keydata.dat"), FormatKeyFile(m_providers)}},
                           &reason);
  if (!saved && error != nullptr)
    *error = reason;
  return saved;
}

}  // namespace gantrell
