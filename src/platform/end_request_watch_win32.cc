#include "platform/end_request_watch.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/console_events.h"

namespace gantrell {

// On Windows the requests to end are the console's close, logoff and
// shutdown events (console_events.h). The "descriptors" are event
// handles: m_signalFds[0] is set by the request, m_stopFds[0] by the
// destructor; the second of each pair is unused.
namespace {

std::atomic<bool> g_active{false};

HANDLE AsHandle(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

int MakeEvent() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event == nullptr ? -1 : static_cast<int>(reinterpret_cast<std::intptr_t>(event));
}

}  // namespace

std::unique_ptr<EndRequestWatch> EndRequestWatch::Start(std::function<void()> on_end,
                                                        std::string* error) {
  if (g_active.exchange(true)) {
    if (error != nullptr)
      *error = "another end-request watch is active";
    return nullptr;
  }
  int signal_fds[2] = {MakeEvent(), -1};
  int stop_fds[2] = {MakeEvent(), -1};
  if (signal_fds[0] < 0 || stop_fds[0] < 0) {
    if (signal_fds[0] >= 0)
      ::CloseHandle(AsHandle(signal_fds[0]));
    if (stop_fds[0] >= 0)
      ::CloseHandle(AsHandle(stop_fds[0]));
    if (error != nullptr)
      *error = "cannot make an event";
    g_active.store(false);
    return nullptr;
  }
  std::unique_ptr<EndRequestWatch> watch(
      new EndRequestWatch(signal_fds, stop_fds, std::move(on_end)));
  console_events::SetEndTarget(AsHandle(signal_fds[0]));
  return watch;
}

EndRequestWatch::EndRequestWatch(int signal_fds[2], int stop_fds[2],
                                 std::function<void()> on_end)
    : m_signalFds{signal_fds[0], signal_fds[1]},
      m_stopFds{stop_fds[0], stop_fds[1]},
      m_onEnd(std::move(on_end)) {
  m_thread = std::thread([this] { Run(); });
}

EndRequestWatch::~EndRequestWatch() {
  console_events::SetEndTarget(nullptr);
  ::SetEvent(AsHandle(m_stopFds[0]));
  m_thread.join();
  ::CloseHandle(AsHandle(m_signalFds[0]));
  ::CloseHandle(AsHandle(m_stopFds[0]));
  g_active.store(false);
}

bool EndRequestWatch::requested() const {
  return ::WaitForSingleObject(AsHandle(m_signalFds[0]), 0) == WAIT_OBJECT_0;
}

void EndRequestWatch::Run() {
  const HANDLE events[2] = {AsHandle(m_stopFds[0]), AsHandle(m_signalFds[0])};
  // The stop comes first, so that a request and a stop at once end the
  // thread without a call.
  if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 && m_onEnd)
    m_onEnd();
}

}  // namespace gantrell
