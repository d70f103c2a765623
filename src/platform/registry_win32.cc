// The system registry, behind the interface the `.reg` files serve
// elsewhere, and the system's version query.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/system_registry.h"
#include "platform/win32_text.h"

namespace gantrell {

namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
      return HKEY_USERS;
    case RegRoot::kPerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case RegRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegRoot::kDynData:
      return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

bool IsTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The program keeps texts in UTF-8, the registry (through the W functions)
// in UTF-16; both with their terminating zero. The A functions would pass
// texts in the ANSI code page, which cannot hold every path a user may
// have, so the W functions are called and the texts converted.
std::vector<std::uint8_t> ToStored(const RegValue& value) {
  if (!IsTextType(value.type))
    return value.data;
  std::string text(value.data.begin(), value.data.end());
  if (text.empty() || text.back() != '\0')
    text.push_back('\0');
  const std::wstring wide = Widen(text);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(wide.data());
  return std::vector<std::uint8_t>(bytes, bytes + wide.size() * sizeof(wchar_t));
}

RegValue FromStored(DWORD type, const std::vector<std::uint8_t>& data) {
  RegValue value;
  value.type = type;
  if (!IsTextType(type)) {
    value.data = data;
    return value;
  }
  std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
  if (wide.empty() || wide.back() != L'\0')
    wide.push_back(L'\0');  // a value stored without its terminator
  const std::string text = Narrow(wide);
  value.data.assign(text.begin(), text.end());
  return value;
}

std::string ValueName(RegRoot root, std::string_view key_path, std::string_view value_name) {
  return std::string(RegRootName(root)) + "\\" + std::string(key_path) + " \"" +
         std::string(value_name) + "\"";
}

// Read-change-write between this program's processes: a named mutex held
// across the two steps. Other programs writing the same value are not kept
// out; the registry has no lock for that.
class UpdateMutex {
 public:
  UpdateMutex() : mutex_(::CreateMutexW(nullptr, FALSE, L"GantrellRegistryUpdate")) {
    if (mutex_ != nullptr) {
      const DWORD waited = ::WaitForSingleObject(mutex_, 10000);
      held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
  }
  ~UpdateMutex() {
    if (held_)
      ::ReleaseMutex(mutex_);
    if (mutex_ != nullptr)
      ::CloseHandle(mutex_);
  }
  UpdateMutex(const UpdateMutex&) = delete;
  UpdateMutex& operator=(const UpdateMutex&) = delete;

 private:
  HANDLE mutex_;
  bool held_ = false;
};

class WindowsRegistry : public Registry {
 public:
  bool KeyExists(RegRoot root, std::string_view key_path) const override {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(RootKey(root), Widen(key_path).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    return true;
  }

  bool QueryValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                  RegValue* value) const override {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(RootKey(root), Widen(key_path).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    const std::wstring name = Widen(value_name);
    std::vector<std::uint8_t> data(256);
    DWORD type = REG_NONE;
    LSTATUS status = ERROR_MORE_DATA;
    // The value may grow between the two calls: ask again until it fits.
    for (int attempt = 0; attempt < 8 && status == ERROR_MORE_DATA; ++attempt) {
      DWORD size = static_cast<DWORD>(data.size());
      status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA)
        data.resize(size + 2);
      else if (status == ERROR_SUCCESS)
        data.resize(size);
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
      return false;
    *value = FromStored(type, data);
    return true;
  }

  bool SetValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                const RegValue& value, std::string* error) override {
    HKEY key = nullptr;
    LSTATUS status = ::RegCreateKeyExW(RootKey(root), Widen(key_path).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                                       nullptr);
    if (status == ERROR_SUCCESS) {
      const std::vector<std::uint8_t> stored = ToStored(value);
      status = ::RegSetValueExW(key, Widen(value_name).c_str(), 0, value.type,
                                stored.empty() ? nullptr : stored.data(),
                                static_cast<DWORD>(stored.size()));
      ::RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
      if (error != nullptr) {
        *error = "Cannot write the registry value " + ValueName(root, key_path, value_name) +
                 ": " + SystemErrorText(static_cast<unsigned long>(status));
      }
      return false;
    }
    return true;
  }

  bool DeleteValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                   std::string* error) override {
    HKEY key = nullptr;
    LSTATUS status =
        ::RegOpenKeyExW(RootKey(root), Widen(key_path).c_str(), 0, KEY_SET_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND)
      return true;  // no key, so no value
    if (status == ERROR_SUCCESS) {
      status = ::RegDeleteValueW(key, Widen(value_name).c_str());
      ::RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      if (error != nullptr) {
        *error = "Cannot remove the registry value " + ValueName(root, key_path, value_name) +
                 ": " + SystemErrorText(static_cast<unsigned long>(status));
      }
      return false;
    }
    return true;
  }

  bool UpdateValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                   const ValueChange& change, std::string* error) override {
    UpdateMutex hold;
    return Registry::UpdateValue(root, key_path, value_name, change, error);
  }
};

// The version query. GetVersionExA answers what the program's manifest
// claims to support: a program without one is told 6.2 (Windows 8) on every
// later release, so a condition on Windows 10 would never hold.
// RtlGetVersion answers the release that really runs, whatever the
// manifest; it is looked up in ntdll at run time (it has no import library
// in every toolchain), with GetVersionExW as the fallback.
class WindowsOsVersion : public OsVersion {
 public:
  bool Query(OsVersionInfo* info) const override {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    bool got = false;
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
      const auto rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
      got = rtl_get_version != nullptr && rtl_get_version(&version) == 0;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!got)
      got = ::GetVersionExW(&version) != 0;
#pragma GCC diagnostic pop
    if (!got)
      return false;
    info->platform_id = version.dwPlatformId;
    info->major = version.dwMajorVersion;
    info->minor = version.dwMinorVersion;
    info->build = version.dwBuildNumber;
    return true;
  }
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry() {
  return std::make_unique<WindowsRegistry>();
}

std::unique_ptr<OsVersion> MakeSystemOsVersion(const Registry&) {
  return std::make_unique<WindowsOsVersion>();
}

}  // namespace gantrell
