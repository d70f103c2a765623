// What a backend keeps of a system object it opened: a file descriptor on
// POSIX systems, a HANDLE on Windows. The value is pointer-sized so that a
// HANDLE fits whole; the backends convert it at the system call
// (posix_handle.h, win32_handle.h), so this header needs no system header.
#pragma once

#include <cstdint>

namespace gantrell {

// A descriptor or a handle, or none (the default). It owns nothing: the
// object that keeps it closes it with the system's own call. Every "none"
// the systems have (a descriptor of -1; a null or INVALID_HANDLE_VALUE
// HANDLE) becomes the one none of this type, so valid() is the only test.
class NativeHandle {
 public:
  constexpr NativeHandle() = default;
  constexpr explicit NativeHandle(std::intptr_t value) : value_(value) {}

  constexpr bool valid() const { return value_ != kNone; }
  constexpr std::intptr_t value() const { return value_; }

  friend constexpr bool operator==(NativeHandle, NativeHandle) = default;

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t value_ = kNone;
};

}  // namespace gantrell
