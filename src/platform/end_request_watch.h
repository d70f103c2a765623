// Turns the signals that ask a program to end into a call it can answer as
// a Cancel: SIGTERM (a logout, a service manager stopping the program) and
// SIGHUP (its terminal went away). Without the watch either one ends the
// program at once, and what it has not written yet is lost.
//
// Only the first such signal is caught: each handler then goes back to the
// default, so a second one ends the program at once. A signal that was
// ignored when the watch started stays ignored. The previous dispositions
// come back when the watch ends. One watch at a time in a process.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/native_handle.h"

namespace gantrell {

class EndRequestWatch {
 public:
  EndRequestWatch(const EndRequestWatch&) = delete;
  EndRequestWatch& operator=(const EndRequestWatch&) = delete;
  // Stops the watch's thread, waiting for a call of `on_end` in progress,
  // and restores the previous dispositions.
  ~EndRequestWatch();

  // Starts watching. `on_end` runs once, on the watch's own thread, when
  // the first of the signals arrives; it must not block for long. nullptr
  // with a message in *error (may be null) when the watch cannot be set up
  // (another one is active, or no pipe or thread could be made).
  static std::unique_ptr<EndRequestWatch> Start(std::function<void()> on_end,
                                                std::string* error);

  // Whether a signal arrived. Any thread.
  bool requested() const;

 private:
  // Takes over the handles and starts the thread (end_request_watch.cc).
  EndRequestWatch(const NativeHandle signal_ends[2], const NativeHandle stop_ends[2],
                  std::function<void()> on_end);
  void Run();

  // Each a pipe's read and write ends; on Windows an event and none. The
  // first is made ready by a request, the second by the destructor.
  NativeHandle m_signalEnds[2];
  NativeHandle m_stopEnds[2];
  std::function<void()> m_onEnd;
  std::thread m_thread;
};

}  // namespace gantrell
