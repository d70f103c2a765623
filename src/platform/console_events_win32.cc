#include "platform/console_events.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace gantrell::console_events {

namespace {

std::atomic<HANDLE> g_interrupt{nullptr};
std::atomic<HANDLE> g_end{nullptr};
std::once_flag g_installed;

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: {
      const HANDLE event = g_interrupt.exchange(nullptr);
      if (event == nullptr)
        return FALSE;  // the next handler, in the end the system's: the program ends
      ::SetEvent(event);
      return TRUE;
    }
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      const HANDLE event = g_end.exchange(nullptr);
      if (event == nullptr)
        return FALSE;
      ::SetEvent(event);
      // Returning ends the process at once; the system allows about five
      // seconds before it does so anyway. The program's own end (main
      // returning) ends this wait first.
      ::Sleep(4500);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void Install() {
  std::call_once(g_installed, [] { ::SetConsoleCtrlHandler(OnControl, TRUE); });
}

}  // namespace

void SetInterruptTarget(void* event) {
  Install();
  g_interrupt.store(static_cast<HANDLE>(event));
}

void SetEndTarget(void* event) {
  Install();
  g_end.store(static_cast<HANDLE>(event));
}

}  // namespace gantrell::console_events
