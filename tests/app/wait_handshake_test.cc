#include "app/wait_handshake.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(WaitHandshakeTest, SilentSignalIsNotLostWhenItComesFirst) {
  for (int round = 0; round < 200; ++round) {
    CWaitHandshake wait;
    wait.Reset();
    std::thread job([&] { wait.SignalDone(true); });
    if (round % 2 == 0)
      job.join();  // the signal lands before the wait
    wait.WaitSilentDone();
    if (job.joinable())
      job.join();
  }
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
