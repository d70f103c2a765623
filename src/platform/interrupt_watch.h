// Turns Ctrl-C (SIGINT) into a handle that can be waited on (a readable
// descriptor; on Windows a signalled event) while a fetch or a download
// runs, so that the waiting loop can treat it as "Cancel".
//
// Only the first Ctrl-C is caught: the handler resets itself to the
// default, so a second Ctrl-C ends the program as usual. The previous
// disposition comes back when the watch ends. A SIGINT that was ignored
// when the program started (a job started in the background) stays
// ignored. One watch at a time.
#pragma once

#include <memory>

#include "platform/native_handle.h"

namespace gantrell {

class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Becomes ready when Ctrl-C was pressed; none when nothing is watched.
  NativeHandle handle() const { return m_handles[0]; }
  // Whether Ctrl-C was pressed (drains the handle).
  bool Fired();

 private:
  struct Previous;  // the disposition of SIGINT before the watch

  NativeHandle m_handles[2];  // a pipe's ends; on Windows an event and none
  std::unique_ptr<Previous> m_previous;
  bool m_installed = false;
  bool m_fired = false;
};

// A handle that another thread can make ready without blocking: the end
// notices of the wait and download loops.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  NativeHandle handle() const { return m_handles[0]; }
  // Any thread; never blocks.
  void Notify();
  // Empties the pipe; true when there was a notice.
  bool Drain();

 private:
  NativeHandle m_handles[2];  // a pipe's ends; on Windows an event and none
};

// Waits until `wake` has a notice, `interrupt` has caught Ctrl-C (when it
// watches), or `timeout_ms` milliseconds have passed (-1: no limit); drains
// neither.
void WaitForWakeOrInterrupt(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms);

}  // namespace gantrell
