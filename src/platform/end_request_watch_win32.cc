#include "platform/end_request_watch.h"

#include <windows.h>

#include <atomic>

#include "platform/console_events.h"
#include "platform/win32_handle.h"

namespace gantrell {

// On Windows the requests to end are the console's close, logoff and
// shutdown events (console_events.h). The handles are events:
// m_signalEnds[0] is set by the request, m_stopEnds[0] by the destructor;
// the second of each pair is unused.
namespace {

using win32::ToHandle;

std::atomic<bool> g_active{false};

NativeHandle MakeEvent() {
  return win32::FromHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace

std::unique_ptr<EndRequestWatch> EndRequestWatch::Start(std::function<void()> on_end,
                                                        std::string* error) {
  if (g_active.exchange(true)) {
    if (error != nullptr)
      *error = "another end-request watch is active";
    return nullptr;
  }
  const NativeHandle signal_ends[2] = {MakeEvent(), NativeHandle()};
  const NativeHandle stop_ends[2] = {MakeEvent(), NativeHandle()};
  if (!signal_ends[0].valid() || !stop_ends[0].valid()) {
    if (signal_ends[0].valid())
      ::CloseHandle(ToHandle(signal_ends[0]));
    if (stop_ends[0].valid())
      ::CloseHandle(ToHandle(stop_ends[0]));
    if (error != nullptr)
      *error = "cannot make an event";
    g_active.store(false);
    return nullptr;
  }
  std::unique_ptr<EndRequestWatch> watch(
      new EndRequestWatch(signal_ends, stop_ends, std::move(on_end)));
  console_events::SetEndTarget(ToHandle(signal_ends[0]));
  return watch;
}

EndRequestWatch::~EndRequestWatch() {
  console_events::SetEndTarget(nullptr);
  ::SetEvent(ToHandle(m_stopEnds[0]));
  m_thread.join();
  ::CloseHandle(ToHandle(m_signalEnds[0]));
  ::CloseHandle(ToHandle(m_stopEnds[0]));
  g_active.store(false);
}

bool EndRequestWatch::requested() const {
  return ::WaitForSingleObject(ToHandle(m_signalEnds[0]), 0) == WAIT_OBJECT_0;
}

void EndRequestWatch::Run() {
  const HANDLE events[2] = {ToHandle(m_stopEnds[0]), ToHandle(m_signalEnds[0])};
  // The stop comes first, so that a request and a stop at once end the
  // thread without a call.
  if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 && m_onEnd)
    m_onEnd();
}

}  // namespace gantrell
