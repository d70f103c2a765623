#include "platform/interrupt_watch.h"

#include <windows.h>

#include <cstdint>

#include "platform/console_events.h"

namespace gantrell {

// The descriptors of this interface are event handles on Windows (kept in
// an int: the system keeps kernel handles within 32 bits); fd() becomes
// "signalled" rather than readable. m_fds[1] is unused.
namespace {

HANDLE AsHandle(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

int MakeEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset
  return event == nullptr ? -1 : static_cast<int>(reinterpret_cast<std::intptr_t>(event));
}

bool IsSet(int fd) {
  return fd >= 0 && ::WaitForSingleObject(AsHandle(fd), 0) == WAIT_OBJECT_0;
}

}  // namespace

struct InterruptWatch::Previous {};

// A program started with Ctrl-C turned off (a job started in the
// background with CREATE_NEW_PROCESS_GROUP) never gets the event, so it
// stays ignored as it was.
InterruptWatch::InterruptWatch() {
  m_fds[0] = MakeEvent();
  if (m_fds[0] < 0)
    return;
  console_events::SetInterruptTarget(AsHandle(m_fds[0]));
  m_installed = true;
}

InterruptWatch::~InterruptWatch() {
  if (m_installed)
    console_events::SetInterruptTarget(nullptr);
  if (m_fds[0] >= 0)
    ::CloseHandle(AsHandle(m_fds[0]));
  m_fds[0] = -1;
}

bool InterruptWatch::Fired() {
  if (IsSet(m_fds[0]))
    m_fired = true;
  return m_fired;
}

WakePipe::WakePipe() {
  m_fds[0] = MakeEvent();
}

WakePipe::~WakePipe() {
  if (m_fds[0] >= 0)
    ::CloseHandle(AsHandle(m_fds[0]));
}

void WakePipe::Notify() {
  if (m_fds[0] >= 0)
    ::SetEvent(AsHandle(m_fds[0]));
}

bool WakePipe::Drain() {
  if (!IsSet(m_fds[0]))
    return false;
  // A notice between the look and the reset is taken with this one, as a
  // pipe's reader takes every byte there is.
  ::ResetEvent(AsHandle(m_fds[0]));
  return true;
}

void WaitForWakeOrInterrupt(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms) {
  HANDLE events[2];
  DWORD count = 0;
  if (wake.fd() >= 0)
    events[count++] = AsHandle(wake.fd());
  if (interrupt.fd() >= 0)
    events[count++] = AsHandle(interrupt.fd());
  const DWORD timeout = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (count == 0) {
    ::Sleep(timeout == INFINITE ? 0 : timeout);
    return;
  }
  ::WaitForMultipleObjects(count, events, FALSE, timeout);
}

}  // namespace gantrell
