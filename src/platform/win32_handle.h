#pragma once

// NativeHandle as a Windows HANDLE. Only *_win32.cc files include this.

#include <windows.h>

#include <cstdint>

#include "platform/native_handle.h"

namespace gantrell::win32 {

// The HANDLE a handle holds; null for none, so that a call made on none
// fails instead of reaching INVALID_HANDLE_VALUE, which is also the
// pseudo-handle of the current process.
inline HANDLE ToHandle(NativeHandle handle) {
  return handle.valid() ? reinterpret_cast<HANDLE>(handle.value()) : nullptr;
}

// A HANDLE as a handle. Both failure values are none: calls that make
// events, mutexes and the like return null, CreateFile returns
// INVALID_HANDLE_VALUE.
inline NativeHandle FromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return NativeHandle();
  return NativeHandle(reinterpret_cast<std::intptr_t>(handle));
}

}  // namespace gantrell::win32
