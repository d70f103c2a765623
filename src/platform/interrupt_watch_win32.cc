#include "platform/interrupt_watch.h"

#include <windows.h>

#include "platform/console_events.h"
#include "platform/win32_handle.h"

namespace gantrell {

// The handles of this interface are events on Windows; handle() becomes
// "signalled" rather than readable. m_handles[1] is unused.
namespace {

using win32::ToHandle;

NativeHandle MakeEvent() {
  return win32::FromHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));  // manual reset
}

bool IsSet(NativeHandle event) {
  return event.valid() && ::WaitForSingleObject(ToHandle(event), 0) == WAIT_OBJECT_0;
}

}  // namespace

struct InterruptWatch::Previous {};

// A program started with Ctrl-C turned off (a job started in the
// background with CREATE_NEW_PROCESS_GROUP) never gets the event, so it
// stays ignored as it was.
InterruptWatch::InterruptWatch() {
  m_handles[0] = MakeEvent();
  if (!m_handles[0].valid())
    return;
  console_events::SetInterruptTarget(ToHandle(m_handles[0]));
  m_installed = true;
}

InterruptWatch::~InterruptWatch() {
  if (m_installed)
    console_events::SetInterruptTarget(nullptr);
  if (m_handles[0].valid())
    ::CloseHandle(ToHandle(m_handles[0]));
  m_handles[0] = NativeHandle();
}

bool InterruptWatch::Fired() {
  if (IsSet(m_handles[0]))
    m_fired = true;
  return m_fired;
}

WakePipe::WakePipe() {
  m_handles[0] = MakeEvent();
}

WakePipe::~WakePipe() {
  if (m_handles[0].valid())
    ::CloseHandle(ToHandle(m_handles[0]));
}

void WakePipe::Notify() {
  if (m_handles[0].valid())
    ::SetEvent(ToHandle(m_handles[0]));
}

bool WakePipe::Drain() {
  if (!IsSet(m_handles[0]))
    return false;
  // A notice between the look and the reset is taken with this one, as a
  // pipe's reader takes every byte there is.
  ::ResetEvent(ToHandle(m_handles[0]));
  return true;
}

void WaitForWakeOrInterrupt(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms) {
  HANDLE events[2];
  DWORD count = 0;
  if (wake.handle().valid())
    events[count++] = ToHandle(wake.handle());
  if (interrupt.handle().valid())
    events[count++] = ToHandle(interrupt.handle());
  const DWORD timeout = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (count == 0) {
    ::Sleep(timeout == INFINITE ? 0 : timeout);
    return;
  }
  ::WaitForMultipleObjects(count, events, FALSE, timeout);
}

}  // namespace gantrell
