// Turns Ctrl-C (SIGINT) into a readable file descriptor while a fetch or a
// download runs, so that the waiting loop can treat it as "Cancel".
//
// Only the first Ctrl-C is caught: the handler resets itself to the
// default, so a second Ctrl-C ends the program as usual. The previous
// disposition comes back when the watch ends. A SIGINT that was ignored
// when the program started (a job started in the background) stays
// ignored. One watch at a time.
#pragma once

#include <memory>

namespace gantrell {

class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Becomes readable when Ctrl-C was pressed; -1 when nothing is watched.
  int fd() const { return m_fds[0]; }
  // Whether Ctrl-C was pressed (drains the descriptor).
  bool Fired();

 private:
  struct Previous;  // the disposition of SIGINT before the watch

  int m_fds[2] = {-1, -1};
  std::unique_ptr<Previous> m_previous;
  bool m_installed = false;
  bool m_fired = false;
};

// A descriptor that another thread can make readable without blocking:
// the end notices of the wait and download loops.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  int fd() const { return m_fds[0]; }
  // Any thread; never blocks.
  void Notify();
  // Empties the pipe; true when there was a notice.
  bool Drain();

 private:
  int m_fds[2] = {-1, -1};
};

// Waits until `wake` has a notice, `interrupt` has caught Ctrl-C (when it
// watches), or `timeout_ms` milliseconds have passed (-1: no limit); drains
// neither.
void WaitForWakeOrInterrupt(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms);

}  // namespace gantrell
