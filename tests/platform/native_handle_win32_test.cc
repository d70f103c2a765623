// A HANDLE kept as a NativeHandle: held whole, with both of the system's
// failure values as the one none.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "platform/win32_handle.h"

namespace gantrell {
namespace {

TEST(NativeHandleWin32, BothFailureValuesAreNoneAndNoneReachesNoObject) {
  for (const HANDLE failed : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
    const NativeHandle none = win32::FromHandle(failed);
    EXPECT_FALSE(none.valid()) << failed;
    EXPECT_EQ(none, NativeHandle()) << failed;
    // INVALID_HANDLE_VALUE would name this process, and closing it would
    // succeed as if something had been closed.
    EXPECT_EQ(win32::ToHandle(none), nullptr) << failed;
    EXPECT_FALSE(::CloseHandle(win32::ToHandle(none))) << failed;
  }
}

TEST(NativeHandleWin32, AHandleIsHeldWholeAndStillNamesItsObject) {
  const HANDLE wide = reinterpret_cast<HANDLE>(std::intptr_t{0x123456789a0});
  EXPECT_EQ(win32::ToHandle(win32::FromHandle(wide)), wide) << "no bits above 32 are lost";

  const NativeHandle event = win32::FromHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.valid());
  ASSERT_TRUE(::SetEvent(win32::ToHandle(event)));
  EXPECT_EQ(::WaitForSingleObject(win32::ToHandle(event), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(::CloseHandle(win32::ToHandle(event)));
}

}  // namespace
}  // namespace gantrell
