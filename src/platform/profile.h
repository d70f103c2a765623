// Per-user program settings: named entries grouped in sections, kept as
// REG_SZ values under HKEY_CURRENT_USER
// "Software\Gantrell\<program name>\<section>".
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace gantrell {

class Profile {
 public:
  // `registry` is borrowed and must outlive the profile. The client passes
  // "gantrell" as the program name.
  Profile(Registry& registry, std::string program_name);

  // The entry's text, or `default_value` when it is missing or is not a text
  // value (REG_SZ or REG_EXPAND_SZ, the latter not expanded).
  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view default_value) const;

  // Stores the entry as REG_SZ, creating its section as needed. Returns false
  // with a message in *error (which may be null) when the store cannot be
  // written; the old value is then kept.
  bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value,
                          std::string* error);

  // Replaces the entry's text with change(current text), as one step for
  // every writer of the settings (the settings store holds its lock across
  // the read and the write). The current text is empty when the entry is
  // missing. Returns false with a message in *error (may be null) when the
  // store cannot be read or written; nothing changes then. `change` must
  // not use the settings itself.
  bool UpdateProfileString(std::string_view section, std::string_view entry,
                           const std::function<std::string(const std::string& current)>& change,
                           std::string* error);

  // Removes the entry; removing a missing entry succeeds.
  bool DeleteProfileEntry(std::string_view section, std::string_view entry, std::string* error);

  // The section's key path below HKEY_CURRENT_USER.
  std::string SectionKey(std::string_view section) const;

 private:
  Registry& registry_;
  std::string program_name_;
};

}  // namespace gantrell
