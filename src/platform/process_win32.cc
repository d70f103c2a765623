#include "platform/process.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/win32_text.h"

namespace gantrell {

std::string WorkingFolder() {
  const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  if (length == 0)
    return {};
  std::vector<wchar_t> buffer(length);
  const DWORD got = ::GetCurrentDirectoryW(length, buffer.data());
  return got == 0 || got >= length ? std::string() : Narrow(std::wstring_view(buffer.data(), got));
}

std::string ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD got =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0)
      return {};
    if (got < buffer.size())
      return Narrow(std::wstring_view(buffer.data(), got));
    buffer.resize(buffer.size() * 2);  // cut short: try a larger buffer
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    // The two parsers disagree only on oddly quoted lines; keep what the C
    // library made of it then.
    if (wide != nullptr)
      ::LocalFree(wide);
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace gantrell
