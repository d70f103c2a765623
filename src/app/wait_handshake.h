// The handshake between a background job (a fetch or a registration) and
// whoever waits for it: the "Please Wait" dialog, or at a silent start the
// start-up code itself.
//
// The dialog closes whether the job ends before or after the dialog shows:
// the job sets m_bFetchDone and notifies the dialog only while it is up;
// the dialog, when it comes up, ends at once if the job is already done.
// Cancel sets m_bFetchDone too, which the fetcher reads to stop early.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace gantrell {

class CWaitHandshake {
 public:
  // Before a job starts: clears m_bWaitDlgUp and m_bFetchDone, and the
  // silent event.
  void Reset();

  // The job's end, from the background thread. Silent: signals the event,
  // which a waiter that comes later still sees. Otherwise: sets
  // m_bFetchDone and, if the dialog is up, calls its end notice (the
  // dialog's "work finished" message) while holding the lock.
  void SignalDone(bool silent);

  // The dialog has come up; `end_notice` must make it end with result 1
  // later (e.g. post it a message) and must not block. Returns true when
  // the job is already done: the dialog ends at once with result 1.
  bool DialogShown(std::function<void()> end_notice);
  // The dialog received the end notice and closes with result 1.
  void DialogEnded();
  // The user pressed Cancel; the dialog closes with result 2.
  void Cancel();

  // Runs `hook` on every later Cancel, after the flags are set and outside
  // the handshake's lock (the fetcher uses it to wake up and see the cancel
  // at once). Replacing or clearing the hook waits for a call in flight.
  void SetCancelHook(std::function<void()> hook);

  // Runs the cancel hook without cancelling the wait: a job that stops for
  // a reason of its own (an end request) wakes to see it, and then ends
  // the wait as usual. Any thread.
  void WakeJob();

  // Whether the job ended or the wait was cancelled.
  bool FetchDone() const;

  // Blocks until SignalDone(true); a signal given before the wait began is
  // not lost. Consumes the signal.
  void WaitSilentDone();

 private:
  mutable std::mutex m_pWaitMutex;
  std::condition_variable m_fetchDoneEvent;
  bool m_bWaitDlgUp = false;
  bool m_bFetchDone = false;
  bool m_bSilentSignalled = false;
  std::function<void()> m_endNotice;
  std::mutex m_hookMutex;
  std::function<void()> m_cancelHook;
};

}  // namespace gantrell
