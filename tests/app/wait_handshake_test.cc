#include "app/wait_handshake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace gantrell {
namespace {

TEST(WaitHandshakeTest, JobEndingBeforeTheDialogShowsEndsItAtOnce) {
  CWaitHandshake wait;
  wait.Reset();
  wait.SignalDone(false);
  bool notified = false;
  EXPECT_TRUE(wait.DialogShown([&] { notified = true; }));
  EXPECT_FALSE(notified);
  EXPECT_TRUE(wait.FetchDone());
}

TEST(WaitHandshakeTest, JobEndingWhileTheDialogIsUpNotifiesIt) {
  CWaitHandshake wait;
  wait.Reset();
  int notices = 0;
  EXPECT_FALSE(wait.DialogShown([&] { ++notices; }));
  wait.SignalDone(false);
  EXPECT_EQ(notices, 1);
  wait.DialogEnded();
  wait.SignalDone(false);  // the dialog is gone: nobody is notified again
  EXPECT_EQ(notices, 1);
}

TEST(WaitHandshakeTest, CancelMarksTheJobDoneAndRunsTheHook) {
  CWaitHandshake wait;
  wait.Reset();
  int hooks = 0;
  wait.SetCancelHook([&] { ++hooks; });
  EXPECT_FALSE(wait.DialogShown([] {}));
  wait.Cancel();
  EXPECT_TRUE(wait.FetchDone());
  EXPECT_EQ(hooks, 1);
  wait.SetCancelHook(nullptr);
  wait.Cancel();
  EXPECT_EQ(hooks, 1);
  wait.Reset();
  EXPECT_FALSE(wait.FetchDone());
}

// Runs WaitSilentDone on a thread of its own and reports whether it
// returned within `patience`. A wait still blocked then is released with a
// signal of its own; one that even that does not end is left behind (it
// only holds shared state), so that a broken handshake fails the test
// instead of hanging the run.
bool SilentWaitEnds(const std::shared_ptr<CWaitHandshake>& wait,
                    std::chrono::milliseconds patience) {
  struct Waiter {
    std::mutex mutex;
    std::condition_variable changed;
    bool returned = false;
  };
  auto waiter = std::make_shared<Waiter>();
  std::thread thread([wait, waiter] {
    wait->WaitSilentDone();
    std::lock_guard<std::mutex> lock(waiter->mutex);
    waiter->returned = true;
    waiter->changed.notify_all();
  });
  const auto returned_within = [&](std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> lock(waiter->mutex);
    return waiter->changed.wait_for(lock, time, [&] { return waiter->returned; });
  };
  const bool in_time = returned_within(patience);
  if (!in_time)
    wait->SignalDone(true);
  if (in_time || returned_within(std::chrono::seconds(1)))
    thread.join();
  else
    thread.detach();
  return in_time;
}

TEST(WaitHandshakeTest, SilentSignalIsNotLostWhenItComesFirst) {
  for (int round = 0; round < 200; ++round) {
    auto wait = std::make_shared<CWaitHandshake>();
    wait->Reset();
    std::thread job([wait] { wait->SignalDone(true); });
    if (round % 2 == 0)
      job.join();  // the signal lands before the wait
    const bool ended = SilentWaitEnds(wait, std::chrono::seconds(5));
    if (job.joinable())
      job.join();
    ASSERT_TRUE(ended) << "round " << round;
  }
}

TEST(WaitHandshakeTest, SilentWaitNeedsASignalOfItsOwnJob) {
  using std::chrono::milliseconds;
  auto wait = std::make_shared<CWaitHandshake>();
  wait->Reset();
  // Nothing signalled: the wait does not end by itself.
  EXPECT_FALSE(SilentWaitEnds(wait, milliseconds(100)));

  // A signal is consumed by the wait that sees it.
  wait->Reset();
  wait->SignalDone(true);
  EXPECT_TRUE(SilentWaitEnds(wait, milliseconds(2000)));
  EXPECT_FALSE(SilentWaitEnds(wait, milliseconds(100)));

  // A signal of the previous job is forgotten when the next one starts.
  wait->Reset();
  wait->SignalDone(true);
  wait->Reset();
  EXPECT_FALSE(SilentWaitEnds(wait, milliseconds(100)));

  // A silent end leaves the dialog flags alone.
  wait->Reset();
  wait->SignalDone(true);
  EXPECT_FALSE(wait->FetchDone());
}

TEST(WaitHandshakeTest, RacingEndAndShowAlwaysCloseTheDialog) {
  // Whichever comes first, the dialog ends exactly once with result 1.
  for (int round = 0; round < 500; ++round) {
    CWaitHandshake wait;
    wait.Reset();
    std::atomic<int> notices{0};
    std::thread job([&] { wait.SignalDone(false); });
    const bool at_once = wait.DialogShown([&] { ++notices; });
    job.join();
    EXPECT_EQ(static_cast<int>(at_once) + notices.load(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace gantrell
