#include "platform/interrupt_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix_handle.h"

namespace gantrell {
namespace {

// A signal handler can reach nothing but a global; it holds the write end
// of the active watch's pipe, -1 when none.
std::atomic<int> g_interruptFd{-1};

void OnInterrupt(int) {
  const int saved_errno = errno;
  const int fd = g_interruptFd.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

bool MakePipe(NativeHandle ends[2]) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    return false;
  ends[0] = posix::FromFd(fds[0]);
  ends[1] = posix::FromFd(fds[1]);
  return true;
}

void ClosePipe(NativeHandle ends[2]) {
  for (int i = 0; i < 2; ++i) {
    if (ends[i].valid())
      ::close(posix::Fd(ends[i]));
    ends[i] = NativeHandle();
  }
}

bool DrainPipe(int fd) {
  bool any = false;
  char buffer[64];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      any = true;
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    return any;
  }
}

}  // namespace

struct InterruptWatch::Previous {
  struct sigaction action = {};
};

InterruptWatch::InterruptWatch() : m_previous(std::make_unique<Previous>()) {
  struct sigaction current;
  if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
    return;
  if (!MakePipe(m_handles))
    return;
  g_interruptFd.store(posix::Fd(m_handles[1]));
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The first Ctrl-C cancels; the handler is then the default again, so a
  // second one ends the program.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  if (::sigaction(SIGINT, &action, &m_previous->action) != 0) {
    g_interruptFd.store(-1);
    ClosePipe(m_handles);
    return;
  }
  m_installed = true;
}

InterruptWatch::~InterruptWatch() {
  if (m_installed)
    ::sigaction(SIGINT, &m_previous->action, nullptr);
  g_interruptFd.store(-1);
  ClosePipe(m_handles);
}

bool InterruptWatch::Fired() {
  if (m_handles[0].valid() && DrainPipe(posix::Fd(m_handles[0])))
    m_fired = true;
  return m_fired;
}

WakePipe::WakePipe() {
  MakePipe(m_handles);
}

WakePipe::~WakePipe() {
  ClosePipe(m_handles);
}

void WakePipe::Notify() {
  if (!m_handles[1].valid())
    return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(posix::Fd(m_handles[1]), &byte, 1);
}

bool WakePipe::Drain() {
  return m_handles[0].valid() && DrainPipe(posix::Fd(m_handles[0]));
}

void WaitForWakeOrInterrupt(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms) {
  pollfd fds[2] = {{posix::Fd(wake.handle()), POLLIN, 0},
                   {posix::Fd(interrupt.handle()), POLLIN, 0}};
  ::poll(fds, interrupt.handle().valid() ? 2 : 1, timeout_ms);
}

}  // namespace gantrell
