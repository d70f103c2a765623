#include "platform/trash.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/win32_text.h"

namespace gantrell {

namespace {

// The recycle bin, through SHFileOperationW: a delete that may be undone
// (FOF_ALLOWUNDO) puts the file there, without a dialog. IFileOperation
// would do the same through COM, with more set-up and nothing gained here.
class RecycleBin : public Trash {
 public:
  bool MoveToTrash(const std::string& path, std::string* where, std::string* error) override {
    // The recycle bin takes only full paths; a relative one would be
    // deleted for good.
    std::vector<wchar_t> full(MAX_PATH);
    DWORD length = 0;
    for (;;) {
      length = ::GetFullPathNameW(WidePath(path).c_str(), static_cast<DWORD>(full.size()),
                                  full.data(), nullptr);
      if (length < full.size())
        break;
      full.resize(length + 1);
    }
    if (length == 0) {
      if (error != nullptr)
        *error = "Cannot move " + path + " to the recycle bin: " + LastErrorText();
      return false;
    }
    const DWORD attributes = ::GetFileAttributesW(full.data());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (error != nullptr)
        *error = "Cannot move " + path + " to the recycle bin: " + LastErrorText();
      return false;
    }
    // The list of names ends with an empty one.
    std::wstring names(full.data(), length);
    names.push_back(L'\0');
    names.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = names.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    const int result = ::SHFileOperationW(&operation);
    if (result != 0 || operation.fAnyOperationsAborted ||
        ::GetFileAttributesW(full.data()) != INVALID_FILE_ATTRIBUTES) {
      if (error != nullptr) {
        *error = "Cannot move " + path + " to the recycle bin" +
                 (result != 0 ? ": error " + std::to_string(result) : std::string());
      }
      return false;
    }
    if (where != nullptr)
      where->clear();  // the recycle bin does not say where it keeps the file
    return true;
  }
};

}  // namespace

std::unique_ptr<Trash> MakeSystemTrash() {
  return std::make_unique<RecycleBin>();
}

}  // namespace gantrell
