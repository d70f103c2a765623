#include "platform/end_request_watch.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace gantrell {
namespace {

std::atomic<int> g_customCalls{0};
void CustomHandler(int) {
  ++g_customCalls;
}

void (*Disposition(int signal))(int) {
  struct sigaction current;
  ::sigaction(signal, nullptr, &current);
  return current.sa_handler;
}

bool WaitFor(const std::atomic<int>& value, int at_least) {
  for (int i = 0; i < 400 && value.load() < at_least; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return value.load() >= at_least;
}

// Each signal is raised once only: after it the default disposition is
// back, and a second one would end the test program.
TEST(EndRequestWatchTest, EachSignalAsksToEndOnceAndTheDefaultComesBack) {
  for (int signal : {SIGTERM, SIGHUP}) {
    std::atomic<int> calls{0};
    std::string error;
    auto watch = EndRequestWatch::Start([&] { ++calls; }, &error);
    ASSERT_NE(watch, nullptr) << error;
    EXPECT_FALSE(watch->requested());
    ASSERT_EQ(::raise(signal), 0);
    EXPECT_TRUE(WaitFor(calls, 1)) << signal;
    EXPECT_TRUE(watch->requested()) << signal;
    EXPECT_EQ(Disposition(signal), SIG_DFL) << signal;
    watch.reset();
    EXPECT_EQ(calls.load(), 1) << signal;
  }
}

TEST(EndRequestWatchTest, PreviousDispositionsComeBackAndIgnoredSignalsStayIgnored) {
  struct sigaction custom = {};
  custom.sa_handler = CustomHandler;
  sigemptyset(&custom.sa_mask);
  struct sigaction old_term, old_hup;
  ASSERT_EQ(::sigaction(SIGTERM, &custom, &old_term), 0);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ASSERT_EQ(::sigaction(SIGHUP, &ignore, &old_hup), 0);
  {
    std::atomic<int> calls{0};
    auto watch = EndRequestWatch::Start([&] { ++calls; }, nullptr);
    ASSERT_NE(watch, nullptr);
    EXPECT_NE(Disposition(SIGTERM), CustomHandler);
    EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    ::raise(SIGHUP);  // ignored: no request
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_FALSE(watch->requested());

    // One watch at a time.
    std::string error;
    EXPECT_EQ(EndRequestWatch::Start([] {}, &error), nullptr);
    EXPECT_EQ(error, "another end-request watch is active");
  }
  EXPECT_EQ(Disposition(SIGTERM), CustomHandler);
  EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
  ::raise(SIGTERM);
  EXPECT_EQ(g_customCalls.load(), 1);
  ::sigaction(SIGTERM, &old_term, nullptr);
  ::sigaction(SIGHUP, &old_hup, nullptr);
}

}  // namespace
}  // namespace gantrell
