// The wake-up of the wait and download loops, on every system: a notice
// from another thread ends the wait, and without one the wait lasts its
// time. A handle the system does not know ends a wait at once (poll
// answers POLLNVAL, WaitForMultipleObjects fails), so the waits that last
// their time also show that the handles reach the system whole.
#include "platform/interrupt_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace gantrell {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 300;

long long WaitedMs(const WakePipe& wake, const InterruptWatch& interrupt, int timeout_ms) {
  const auto started = Clock::now();
  WaitForWakeOrInterrupt(wake, interrupt, timeout_ms);
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
}

TEST(WakePipeTest, ANoticeEndsTheWaitAndWithoutOneItLastsItsTime) {
  for (const bool notify : {false, true}) {
    WakePipe wake;
    InterruptWatch interrupt;
    ASSERT_TRUE(wake.handle().valid());
    std::thread notifier([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (notify)
        wake.Notify();
    });
    // Without a limit only the notice can end the wait.
    const long long waited = WaitedMs(wake, interrupt, notify ? -1 : kTimeoutMs);
    notifier.join();
    if (notify) {
      EXPECT_LT(waited, kTimeoutMs) << "notified";
    } else {
      EXPECT_GE(waited, kTimeoutMs - 50) << "not notified";
    }
    EXPECT_EQ(wake.Drain(), notify) << "notified: " << notify;
    EXPECT_FALSE(interrupt.Fired()) << "notified: " << notify;
  }
}

TEST(WakePipeTest, DrainTakesAllNoticesAtOnceAndTheNextWaitLastsAgain) {
  for (const int notices : {0, 1, 3}) {
    WakePipe wake;
    InterruptWatch interrupt;
    for (int i = 0; i < notices; ++i)
      wake.Notify();
    if (notices > 0) {
      EXPECT_LT(WaitedMs(wake, interrupt, kTimeoutMs), kTimeoutMs) << notices << " notices";
    }
    EXPECT_EQ(wake.Drain(), notices > 0) << notices << " notices";
    EXPECT_FALSE(wake.Drain()) << notices << " notices";
    // A notice left behind would end this wait at once.
    EXPECT_GE(WaitedMs(wake, interrupt, kTimeoutMs), kTimeoutMs - 50) << notices << " notices";
  }
}

}  // namespace
}  // namespace gantrell
