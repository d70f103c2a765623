// The named mutex and the hand-off event of the Windows backend.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/single_instance.h"

namespace gantrell {
namespace {

std::string UniqueName(const char* base) {
  return std::string(base) +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(InstanceLockWin32, OnlyOneHolderUntilItReleases) {
  const std::string name = UniqueName("GantrellTestMaster");
  InstanceLock first(name), second(name);
  std::string error = "stale";
  ASSERT_TRUE(first.TryAcquire(0, &error)) << error;
  EXPECT_TRUE(error.empty());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(second.TryAcquire(200, &error));
  EXPECT_TRUE(error.empty()) << "another holder is no failure: " << error;
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(150))
      << "it waited for the timeout";
  // Released from another thread than the one that took it.
  std::thread([&first] { first.Release(); }).join();
  EXPECT_TRUE(second.TryAcquire(0, &error)) << error;
}

TEST(InstanceLockWin32, AWaitingInstanceGetsTheLockWhenTheFirstEnds) {
  const std::string name = UniqueName("GantrellTestMaster");
  InstanceLock first(name), second(name);
  ASSERT_TRUE(first.TryAcquire(0, nullptr));
  std::thread ender([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.Release();
  });
  EXPECT_TRUE(second.TryAcquire(5000, nullptr));
  ender.join();
}

TEST(HandOffWin32, NoticesReachTheListenerOnlyWhileItLives) {
  const std::string title = UniqueName("Gantrell test window ");
  EXPECT_FALSE(NotifyHandOff(title)) << "no listener yet";
  std::atomic<int> received{0};
  std::string error;
  {
    const std::unique_ptr<HandOffListener> listener =
        HandOffListener::Open(title, [&received] { ++received; }, &error);
    ASSERT_NE(listener, nullptr) << error;
    ASSERT_TRUE(NotifyHandOff(title));
    for (int i = 0; i < 200 && received.load() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(received.load(), 1);
    // The place a holder writes for others reaches it too.
    const std::string folder = HandOffFolder(&error);
    ASSERT_FALSE(folder.empty()) << error;
    ASSERT_TRUE(NotifyHandOffIn(folder, title));
    for (int i = 0; i < 200 && received.load() == 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(received.load(), 2);
  }
  EXPECT_FALSE(NotifyHandOff(title)) << "the listener is gone";
  EXPECT_FALSE(NotifyHandOffIn("", title));
}

}  // namespace
}  // namespace gantrell
