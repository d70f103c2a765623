#include "platform/console_events.h"

#include <windows.h>

#include <mutex>

namespace gantrell::console_events {

namespace {

// The targets are read and set under one lock, so that once a watch has
// cleared its target (before it closes the event) the handler, which runs
// on a thread of its own, can no longer set that event.
std::mutex g_targetsLock;
HANDLE g_interrupt = nullptr;
HANDLE g_end = nullptr;
std::once_flag g_installed;

// Sets the event of *target once and clears it; false when there is none.
bool Fire(HANDLE* target) {
  const std::lock_guard<std::mutex> hold(g_targetsLock);
  if (*target == nullptr)
    return false;
  ::SetEvent(*target);
  *target = nullptr;
  return true;
}

void SetTarget(HANDLE* target, HANDLE event) {
  const std::lock_guard<std::mutex> hold(g_targetsLock);
  *target = event;
}

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // Without a target the next handler, in the end the system's, runs:
      // the program ends.
      return Fire(&g_interrupt) ? TRUE : FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (!Fire(&g_end))
        return FALSE;
      // Returning ends the process at once; the system allows about five
      // seconds before it does so anyway. The program's own end (main
      // returning) ends this wait first.
      ::Sleep(4500);
      return TRUE;
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
  SetTarget(&g_interrupt, static_cast<HANDLE>(event));
}

void SetEndTarget(void* event) {
  Install();
  SetTarget(&g_end, static_cast<HANDLE>(event));
}

}  // namespace gantrell::console_events
