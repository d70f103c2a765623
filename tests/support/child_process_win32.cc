#include "support/child_process.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace gantrell::testing {
namespace {

// One argument as the C runtime's parser reads it back: quoted, with the
// backslashes before a quote (and before the closing one) doubled.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE OpenInherited(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, const std::string& working_folder,
               const std::string& out_file, const std::string& err_file) {
  std::wstring command;
  for (const std::string& arg : argv)
    command += (command.empty() ? L"" : L" ") + QuoteArgument(Widen(arg));
  const HANDLE in = OpenInherited(L"NUL", false);
  const HANDLE out = OpenInherited(WidePath(out_file), true);
  const HANDLE err = OpenInherited(WidePath(err_file), true);
  int status = -1;
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring program = WidePath(argv.front());
    const std::wstring folder = WidePath(working_folder);
    if (::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                         CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process)) {
      ::WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      if (::GetExitCodeProcess(process.hProcess, &code))
        status = static_cast<int>(code);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
  }
  for (HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle);
  }
  return status;
}

}  // namespace gantrell::testing
