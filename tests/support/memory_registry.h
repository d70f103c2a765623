// A registry held in memory, for tests that need values under a few keys and
// nothing on disk. Key paths and value names match without regard to letter
// case, as in the real registry. `set_failing(true)` makes every call fail,
// as an unreadable store would.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "platform/registry.h"

namespace gantrell::testing {

class MemoryRegistry : public Registry {
 public:
  bool KeyExists(RegRoot root, std::string_view key_path) const override {
    if (failing_)
      return false;
    const std::string wanted = Fold(key_path);
    for (const auto& [where, value] : values_) {
      const auto& [value_root, path, name] = where;
      if (value_root != root)
        continue;
      if (path == wanted || (path.size() > wanted.size() && path.starts_with(wanted) &&
                             (wanted.empty() || path[wanted.size()] == '\\'))) {
        return true;
      }
    }
    return false;
  }

  bool QueryValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                  RegValue* value) const override {
    if (failing_)
      return false;
    auto found = values_.find({root, Fold(key_path), Fold(value_name)});
    if (found == values_.end())
      return false;
    *value = found->second;
    return true;
  }

  bool SetValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                const RegValue& value, std::string* error) override {
    if (failing_) {
      *error = "memory registry: set to fail";
      return false;
    }
    values_[{root, Fold(key_path), Fold(value_name)}] = value;
    return true;
  }

  bool DeleteValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                   std::string* error) override {
    if (failing_) {
      *error = "memory registry: set to fail";
      return false;
    }
    values_.erase({root, Fold(key_path), Fold(value_name)});
    return true;
  }

  // Shorthand for tests: sets a value and ignores the (impossible) error.
  void Set(RegRoot root, std::string_view key_path, std::string_view value_name,
           const RegValue& value) {
    values_[{root, Fold(key_path), Fold(value_name)}] = value;
  }

  void set_failing(bool failing) { failing_ = failing; }

 private:
  static std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
  }

  std::map<std::tuple<RegRoot, std::string, std::string>, RegValue> values_;
  bool failing_ = false;
};

}  // namespace gantrell::testing
