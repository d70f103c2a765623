// Ctrl-C as SIGINT: what the watch catches, and what it gives back.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "platform/interrupt_watch.h"

namespace gantrell {
namespace {

using Clock = std::chrono::steady_clock;

void (*Disposition(int signal))(int) {
  struct sigaction current;
  ::sigaction(signal, nullptr, &current);
  return current.sa_handler;
}

void SetDisposition(int signal, void (*handler)(int), struct sigaction* previous) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(signal, &action, previous), 0);
}

void CustomHandler(int) {}

long long WaitedMs(const InterruptWatch& interrupt, int timeout_ms) {
  WakePipe wake;
  const auto started = Clock::now();
  WaitForWakeOrInterrupt(wake, interrupt, timeout_ms);
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
}

// Raised once only: after it the default is back, and a second one would
// end the test program.
TEST(InterruptWatchPosixTest, TheFirstCtrlCEndsTheWaitAndThePreviousHandlerComesBack) {
  struct sigaction old;
  SetDisposition(SIGINT, CustomHandler, &old);
  {
    InterruptWatch interrupt;
    ASSERT_TRUE(interrupt.handle().valid());
    EXPECT_FALSE(interrupt.Fired());
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_LT(WaitedMs(interrupt, 2000), 1000);
    EXPECT_TRUE(interrupt.Fired());
    EXPECT_TRUE(interrupt.Fired()) << "it stays fired once drained";
    EXPECT_EQ(Disposition(SIGINT), SIG_DFL) << "a second Ctrl-C ends the program";
  }
  EXPECT_EQ(Disposition(SIGINT), CustomHandler);
  ::sigaction(SIGINT, &old, nullptr);
}

TEST(InterruptWatchPosixTest, AnIgnoredCtrlCStaysIgnoredAndTheWaitLastsItsTime) {
  struct sigaction old;
  SetDisposition(SIGINT, SIG_IGN, &old);
  {
    InterruptWatch interrupt;
    EXPECT_FALSE(interrupt.handle().valid());
    EXPECT_EQ(Disposition(SIGINT), SIG_IGN);
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_GE(WaitedMs(interrupt, 200), 150);
    EXPECT_FALSE(interrupt.Fired());
  }
  EXPECT_EQ(Disposition(SIGINT), SIG_IGN);
  ::sigaction(SIGINT, &old, nullptr);
}

}  // namespace
}  // namespace gantrell
