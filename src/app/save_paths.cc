#include "app/save_paths.h"

#include <filesystem>

#include "app/client_app.h"
#include "app/frontend.h"
#include "platform/catalogue.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace gantrell {
namespace {

void RemoveAll(std::string* text, std::string_view what) {
  for (std::size_t pos; (pos = text->find(what)) != std::string::npos;)
    text->erase(pos, what.size());
}

// Makes the folder unless it is there already; true when it exists after.
bool EnsureDirectory(const std::string& path) {
  if (IsFolder(path))
    return true;
  MakeFolder(path);
  return IsFolder(path);
}

}  // namespace

std::string ProviderFolderName(std::string_view address) {
  std::string name(address);
  RemoveAll(&name, "http://");
  RemoveAll(&name, "https://");
  for (char& c : name) {
    if (c == ':' || c == '.' || c == '/' || c == '\\')
      c = '_';
  }
  return name;
}

bool IsSafeLocation(std::string_view location) {
  if (location.empty())
    return true;
  if (location.front() == '/' || location.front() == '\\')
    return false;
  // "C:..." names a drive on the system the provider may have had in mind.
  if (location.size() >= 2 && location[1] == ':')
    return false;
  std::size_t start = 0;
  while (start <= location.size()) {
    std::size_t end = location.find_first_of("/\\", start);
    if (end == std::string_view::npos)
      end = location.size();
    if (location.substr(start, end - start) == "..")
      return false;
    start = end + 1;
  }
  return true;
}

std::string AbsoluteFolder(const std::string& folder) {
  // "/srv", and on Windows "C:\Users" and "\\server\share" too.
  if (folder.empty() || std::filesystem::path(folder).has_root_directory())
    return folder;
  std::string absolute = WorkingFolder();
  if (absolute.empty())
    return folder;
  if (absolute.back() != '/')
    absolute += '/';
  // "." components add nothing; ".." ones are left to the file system,
  // which resolves them as it would have for the text typed.
  std::size_t start = 0;
  while (start <= folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos)
      end = folder.size();
    const std::string part = folder.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (absolute.back() != '/')
        absolute += '/';
      absolute += part;
    }
    start = end + 1;
  }
  if (absolute.size() > 1 && absolute.back() == '/')
    absolute.pop_back();
  return absolute;
}

std::string CClientApp::GetItemSavePath(const CUpdateItem& item) {
  return ItemSavePath(item, SavePathLookup::kMayAsk);
}

std::string CClientApp::FindItemSavePath(const CUpdateItem& item) {
  return ItemSavePath(item, SavePathLookup::kNeverAsk);
}

std::string CClientApp::ExistingItemSavePath(const CUpdateItem& item) {
  return ItemSavePath(item, SavePathLookup::kExistingOnly);
}

bool CClientApp::HasDownloadFolder() const {
  return m_profile.GetProfileString(kSettingsSection, "dlpath", "?") != "?";
}

std::string CClientApp::ItemSavePath(const CUpdateItem& item, SavePathLookup lookup) {
  if (!IsSafeLocation(item.m_strLocation))
    return {};
  const CUpdateGroup* group = item.m_pGroup;
  if (group == nullptr || group->m_pProvider == nullptr)
    return {};

  std::string folder = m_profile.GetProfileString(kSettingsSection, "dlpath", "?");
  if (folder == "?") {
    if (lookup != SavePathLookup::kMayAsk)
      return {};
    folder = AskDownloadFolder();
    if (folder == "?")
      return {};
  }
  if (!IsFolder(folder))
    return {};

  std::string path = folder + "/" + ProviderFolderName(group->m_pProvider->m_strAddress);
  if (lookup == SavePathLookup::kExistingOnly) {
    // Whatever the item left on disk lies below its number folder.
    path += "/" + std::to_string(item.m_nNumber);
    return IsFolder(path) ? path + "/" + item.m_strLocation : std::string();
  }
  EnsureDirectory(path);  // a failure shows at the next folder
  path += "/" + std::to_string(item.m_nNumber);
  if (!EnsureDirectory(path))
    return {};
  // A location with folders of its own ("docs/readme.txt") gets them too,
  // below the number folder, so that the file can be written there.
  for (std::size_t slash = item.m_strLocation.find('/'); slash != std::string::npos;
       slash = item.m_strLocation.find('/', slash + 1)) {
    if (slash > 0 && !EnsureDirectory(path + "/" + item.m_strLocation.substr(0, slash)))
      return {};
  }
  return path + "/" + item.m_strLocation;
}

std::string CClientApp::EffectiveSavePath(const CUpdateItem& item) {
  return item.m_strSavePath.empty() ? GetItemSavePath(item) : item.m_strSavePath;
}

std::string CClientApp::AskDownloadFolder() {
  return AskDownloadFolder(nullptr);
}

std::string CClientApp::AskDownloadFolder(bool* cancelled) {
  if (cancelled != nullptr)
    *cancelled = false;
  if (m_pFrontend == nullptr)
    return "?";
  for (;;) {
    std::string folder;
    switch (m_pFrontend->AskFolder(&folder)) {
      case PromptResult::kUnavailable:
        return "?";
      case PromptResult::kCancel:
        // The user may decline to choose: a prompt that only an existing
        // folder can end would trap them.
        if (cancelled != nullptr)
          *cancelled = true;
        return "?";
      case PromptResult::kOk:
        break;
    }
    // A relative folder means the one it names now; stored as typed it
    // would later be taken relative to wherever the client was started.
    folder = AbsoluteFolder(folder);
    if (!IsFolder(folder)) {
      m_pFrontend->ShowMessage(Tr("Folder does not exist."), MessageIcon::kError,
                               MessageButtons::kOk);
      continue;
    }
    std::string error;
    if (!m_profile.WriteProfileString(kSettingsSection, "dlpath", folder, &error)) {
      m_pFrontend->ShowMessage(error, MessageIcon::kError, MessageButtons::kOk);
    }
    return folder;
  }
}

}  // namespace gantrell
