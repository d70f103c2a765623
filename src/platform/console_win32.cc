#include "platform/console.h"

#include <windows.h>

#include <cstdlib>

#include "platform/win32_text.h"

namespace gantrell {

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// The console shows the progress bars' escape sequences (colours, moving
// the cursor) only with virtual-terminal processing on; it is turned on
// once, the first time anyone asks whether standard error is a console.
void EnableVirtualTerminal(HANDLE handle) {
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode))
    ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void WriteAll(HANDLE console, const std::string& text) {
  const std::wstring wide = Widen(text);
  DWORD done = 0;
  ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
}

// Reads a line from a console in UTF-16; false when the input ended.
bool ReadConsoleLine(HANDLE console, std::string* line) {
  std::wstring wide;
  for (;;) {
    wchar_t c;
    DWORD got = 0;
    if (!::ReadConsoleW(console, &c, 1, &got, nullptr) || got == 0)
      return false;
    if (c == L'\n')
      break;
    if (c == 26 && wide.empty())  // Ctrl-Z at the start of a line ends the input
      return false;
    if (c != L'\r')
      wide += c;
  }
  *line = Narrow(wide);
  return true;
}

}  // namespace

ConsoleAnswer AskOnConsole(const std::string& prompt, std::string* line) {
  line->clear();
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
  bool opened = false;
  if (!IsConsole(input)) {
    // Standard input is a pipe or a file: ask on the console itself.
    input = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
    if (!IsConsole(input)) {
      if (input != INVALID_HANDLE_VALUE)
        ::CloseHandle(input);
      return ConsoleAnswer::kNoConsole;
    }
    opened = true;
  }
  bool output_opened = false;
  if (!IsConsole(output)) {
    output = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    output_opened = output != INVALID_HANDLE_VALUE;
  }
  if (IsConsole(output))
    WriteAll(output, prompt);
  const bool got = ReadConsoleLine(input, line);
  if (opened)
    ::CloseHandle(input);
  if (output_opened)
    ::CloseHandle(output);
  return got ? ConsoleAnswer::kLine : ConsoleAnswer::kEnded;
}

int ConsoleWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 0)
      return width;
  }
  return 80;
}

bool StderrIsConsole() {
  HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!IsConsole(handle))
    return false;
  static const bool enabled = (EnableVirtualTerminal(handle), true);
  (void)enabled;
  return true;
}

namespace {

UINT g_savedOutputCodePage = 0;

void RestoreOutputCodePage() {
  ::SetConsoleOutputCP(g_savedOutputCodePage);
}

}  // namespace

void UseUtf8Console() {
  if (!IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)) && !IsConsole(::GetStdHandle(STD_ERROR_HANDLE)))
    return;  // pipes and files take the UTF-8 bytes as they are
  const UINT current = ::GetConsoleOutputCP();
  if (current == 0 || current == CP_UTF8 || g_savedOutputCodePage != 0)
    return;
  if (!::SetConsoleOutputCP(CP_UTF8))
    return;
  // The code page belongs to the console, which outlives this program.
  g_savedOutputCodePage = current;
  std::atexit(RestoreOutputCodePage);
}

}  // namespace gantrell
