#include "platform/single_instance.h"

#include <windows.h>

#include <chrono>

#include "platform/win32_handle.h"
#include "platform/win32_text.h"

// On Windows the guard is a named mutex (the object's existence is what
// tells a second instance that the first runs: it needs no owning thread,
// so any thread may release it, and the system removes it when the process
// ends however it ends) and the channel a named event that the listener's
// thread waits on. Both are named in the session's namespace ("Local\"), so
// a console and a windowed instance of one user's session see each other.
namespace gantrell {

namespace {

constexpr const char* kNamespace = "Local";

// Object names may hold anything but a backslash.
std::wstring ObjectName(const std::string& space, const std::string& prefix,
                        const std::string& name) {
  std::string cleaned = prefix + name;
  for (char& c : cleaned) {
    if (c == '\\')
      c = '_';
  }
  return Widen(space + "\\" + cleaned);
}

std::wstring EventName(const std::string& space, const std::string& title) {
  return ObjectName(space, "Gantrell hand-off ", title);
}

}  // namespace

InstanceLock::InstanceLock(std::string name) : name_(std::move(name)) {}

InstanceLock::~InstanceLock() {
  Release();
}

bool InstanceLock::TryAcquire(int timeout_ms, std::string* error) {
  if (error != nullptr)
    error->clear();
  if (handle_.valid())
    return true;
  const std::wstring name = ObjectName(kNamespace, "", name_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
      if (error != nullptr)
        *error = "cannot make the mutex " + Narrow(name) + ": " + LastErrorText();
      return false;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      handle_ = win32::FromHandle(mutex);
      return true;
    }
    // Another instance made it. It may be ending: look again until the
    // time is up.
    ::CloseHandle(mutex);
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    ::Sleep(5);
  }
}

void InstanceLock::Release() {
  if (!handle_.valid())
    return;
  ::CloseHandle(win32::ToHandle(handle_));
  handle_ = NativeHandle();
}

std::unique_ptr<HandOffListener> HandOffListener::Open(const std::string& title,
                                                       std::function<void()> on_message,
                                                       std::string* error) {
  const std::wstring name = EventName(kNamespace, title);
  HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, name.c_str());  // auto reset
  if (event == nullptr) {
    if (error != nullptr)
      *error = "cannot make the event " + Narrow(name) + ": " + LastErrorText();
    return nullptr;
  }
  return std::unique_ptr<HandOffListener>(
      new HandOffListener(win32::FromHandle(event), Narrow(name), std::move(on_message)));
}

// wake_[0] is the event that stops the thread; wake_[1] is unused.
HandOffListener::HandOffListener(NativeHandle channel, std::string path,
                                 std::function<void()> on_message)
    : channel_(channel), path_(std::move(path)), on_message_(std::move(on_message)) {
  wake_[0] = win32::FromHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread([this] { Run(); });
}

HandOffListener::~HandOffListener() {
  if (wake_[0].valid())
    ::SetEvent(win32::ToHandle(wake_[0]));
  thread_.join();
  ::CloseHandle(win32::ToHandle(channel_));
  if (wake_[0].valid())
    ::CloseHandle(win32::ToHandle(wake_[0]));
}

void HandOffListener::Run() {
  if (!wake_[0].valid())
    return;  // without a way to stop it, the thread must not wait at all
  const HANDLE events[2] = {win32::ToHandle(wake_[0]), win32::ToHandle(channel_)};
  for (;;) {
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0 + 1)
      return;  // stopped, or the wait failed
    on_message_();
  }
}

bool NotifyHandOff(const std::string& title) {
  return NotifyHandOffIn(kNamespace, title);
}

std::string HandOffFolder(std::string* error) {
  if (error != nullptr)
    error->clear();
  return kNamespace;
}

// `folder` is the namespace HandOffFolder gave: "Local" for the session.
bool NotifyHandOffIn(const std::string& folder, const std::string& title) {
  if (folder.empty())
    return false;
  // Only a listener keeps the event; without one there is nothing to open.
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(folder, title).c_str());
  if (event == nullptr)
    return false;
  const bool sent = ::SetEvent(event) != 0;
  ::CloseHandle(event);
  return sent;
}

}  // namespace gantrell
