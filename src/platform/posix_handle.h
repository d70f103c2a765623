#pragma once

// NativeHandle as a file descriptor. Only *_posix.cc files include this.

#include "platform/native_handle.h"

namespace gantrell::posix {

// The descriptor a handle holds; -1 for none.
inline int Fd(NativeHandle handle) {
  return handle.valid() ? static_cast<int>(handle.value()) : -1;
}

// A descriptor as a handle; any negative value (a failed open) is none.
inline NativeHandle FromFd(int fd) {
  return fd < 0 ? NativeHandle() : NativeHandle(fd);
}

}  // namespace gantrell::posix
