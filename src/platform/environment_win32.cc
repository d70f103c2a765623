#include "platform/environment.h"

#include <windows.h>

#include <vector>

#include "platform/win32_text.h"

namespace gantrell {

// The process's own environment block in UTF-16 (the C library's copy is
// in the ANSI code page and misses what the program set since).
bool LookUpEnvironment(const std::string& name, std::string* value) {
  const std::wstring wide = Widen(name);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wide.c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return false;
      value->clear();  // set, and empty
      return true;
    }
    if (length < buffer.size()) {
      *value = Narrow(std::wstring_view(buffer.data(), length));
      return true;
    }
    buffer.resize(length);
  }
}

}  // namespace gantrell
