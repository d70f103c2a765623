#include "platform/standard_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "platform/win32_text.h"

// Windows has no XDG folders; the known folders of the user's profile take
// their places: the profile for the home, the roaming application data
// ("AppData") for the settings and data, and the temporary folder for what
// lives only as long as the session.
namespace gantrell {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path != nullptr)
    folder = Narrow(path);
  ::CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::string HomeFolder() {
  return KnownFolder(FOLDERID_Profile);
}

std::string ConfigHome() {
  return KnownFolder(FOLDERID_RoamingAppData);
}

std::string DataHome() {
  return KnownFolder(FOLDERID_RoamingAppData);
}

std::string RuntimeDir(std::string* error) {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) {
    if (error != nullptr)
      *error = "Cannot find the temporary folder: " + LastErrorText();
    return {};
  }
  std::string folder = Narrow(std::wstring_view(buffer, length));
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  return folder;
}

// The folders above belong to the user's profile, which Windows already
// closes to other users; a folder made here inherits that.
bool EnsurePrivateFolder(const std::string& folder, std::string* error) {
  if (!::CreateDirectoryW(WidePath(folder).c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    if (error != nullptr)
      *error = "Cannot create " + folder + ": " + LastErrorText();
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(WidePath(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (error != nullptr)
      *error = "Cannot use " + folder + ": it is not a folder of its own";
    return false;
  }
  return true;
}

std::string RuntimeFolderProblem() {
  return {};  // the temporary folder is always there
}

}  // namespace gantrell
