#include "platform/end_request_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/posix_handle.h"

namespace gantrell {
namespace {

constexpr int kWatched[] = {SIGTERM, SIGHUP};
constexpr int kWatchedCount = sizeof kWatched / sizeof kWatched[0];

// A signal handler can reach nothing but globals: the write end of the
// active watch's pipe (-1 when none), whether a signal came, and the
// dispositions to restore.
std::atomic<int> g_endFd{-1};
std::atomic<bool> g_requested{false};
std::atomic<bool> g_active{false};
struct sigaction g_previous[kWatchedCount];
bool g_installed[kWatchedCount];

void OnEndSignal(int) {
  const int saved_errno = errno;
  g_requested.store(true);
  const int fd = g_endFd.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

void ClosePair(int fds[2]) {
  for (int i = 0; i < 2; ++i) {
    if (fds[i] >= 0)
      ::close(fds[i]);
    fds[i] = -1;
  }
}

void ClosePair(NativeHandle ends[2]) {
  for (int i = 0; i < 2; ++i) {
    if (ends[i].valid())
      ::close(posix::Fd(ends[i]));
    ends[i] = NativeHandle();
  }
}

}  // namespace

std::unique_ptr<EndRequestWatch> EndRequestWatch::Start(std::function<void()> on_end,
                                                        std::string* error) {
  bool expected = false;
  if (!g_active.compare_exchange_strong(expected, true)) {
    if (error != nullptr)
      *error = "another end-request watch is active";
    return nullptr;
  }
  int signal_fds[2] = {-1, -1};
  int stop_fds[2] = {-1, -1};
  if (::pipe2(signal_fds, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(stop_fds, O_CLOEXEC) != 0) {
    if (error != nullptr)
      *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    ClosePair(signal_fds);
    ClosePair(stop_fds);
    g_active.store(false);
    return nullptr;
  }
  g_requested.store(false);
  g_endFd.store(signal_fds[1]);
  // The thread runs before the handlers are in place, so no signal can
  // arrive with nobody to read it.
  const NativeHandle signal_ends[2] = {posix::FromFd(signal_fds[0]), posix::FromFd(signal_fds[1])};
  const NativeHandle stop_ends[2] = {posix::FromFd(stop_fds[0]), posix::FromFd(stop_fds[1])};
  std::unique_ptr<EndRequestWatch> watch(
      new EndRequestWatch(signal_ends, stop_ends, std::move(on_end)));
  for (int i = 0; i < kWatchedCount; ++i) {
    g_installed[i] = false;
    struct sigaction current;
    if (::sigaction(kWatched[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
      continue;
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // The first one asks; the handler is then the default again, so a
    // second one ends the program. Interrupted reads and writes resume.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    g_installed[i] = ::sigaction(kWatched[i], &action, &g_previous[i]) == 0;
  }
  return watch;
}

EndRequestWatch::~EndRequestWatch() {
  for (int i = 0; i < kWatchedCount; ++i) {
    if (g_installed[i])
      ::sigaction(kWatched[i], &g_previous[i], nullptr);
    g_installed[i] = false;
  }
  g_endFd.store(-1);
  const char stop = 0;
  [[maybe_unused]] const ssize_t n = ::write(posix::Fd(m_stopEnds[1]), &stop, 1);
  m_thread.join();
  ClosePair(m_signalEnds);
  ClosePair(m_stopEnds);
  g_active.store(false);
}

bool EndRequestWatch::requested() const {
  return g_requested.load();
}

void EndRequestWatch::Run() {
  const int signal_fd = posix::Fd(m_signalEnds[0]);
  bool called = false;
  for (;;) {
    pollfd fds[2] = {{signal_fd, POLLIN, 0}, {posix::Fd(m_stopEnds[0]), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents != 0)
      return;
    if ((fds[0].revents & POLLIN) == 0)
      continue;
    char buffer[16];
    while (::read(signal_fd, buffer, sizeof buffer) > 0) {
    }
    if (!called && m_onEnd) {
      called = true;
      m_onEnd();
    }
  }
}

}  // namespace gantrell
