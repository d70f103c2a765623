// The parsed contents of a registry file: keys under their roots, each with
// named values, kept in the order they were written so that rewriting a file
// changes as little as possible.
//
// Key and value names are compared without regard to ASCII letter case and
// keep the case they were first written with. A key exists when it has a
// section of its own or when any key below it does, as parent keys always
// exist in a registry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace gantrell {

struct RegDocumentValue {
  std::string name;  // empty for the key's default value
  RegValue value;
};

struct RegDocumentKey {
  RegRoot root = RegRoot::kLocalMachine;
  std::string path;  // below the root, backslash-separated; empty for the root itself
  std::vector<RegDocumentValue> values;
  int line = 0;  // where the key's section first appears in the file read; 0 for new keys
};

// ASCII case-insensitive comparison of names.
bool NamesEqual(std::string_view a, std::string_view b);

// True when key path `path` is `prefix` or lies below it (case-insensitive).
// Every path lies below the empty prefix.
bool PathIsAtOrBelow(std::string_view path, std::string_view prefix);

// True when `path` can name a key: no empty component (so no leading,
// trailing or doubled backslash) and no line break or zero byte, which the
// file format cannot carry. The empty path names the root itself.
bool IsValidKeyPath(std::string_view path);

// True when `name` can name a value: no line break and no zero byte.
bool IsValidValueName(std::string_view name);

class RegDocument {
 public:
  const std::vector<RegDocumentKey>& keys() const { return keys_; }
  bool empty() const { return keys_.empty(); }

  // The key itself, or nullptr when it has no section of its own.
  const RegDocumentKey* FindKey(RegRoot root, std::string_view path) const;

  // True when the key has a section or a key below it has one.
  bool KeyExists(RegRoot root, std::string_view path) const;

  // The value, or nullptr when the key or the value is absent.
  const RegValue* FindValue(RegRoot root, std::string_view path, std::string_view name) const;

  // Adds a key section when it has none yet. A new key takes the case of the
  // parts of its path that already exist, so that "software\Foo" added beside
  // "SOFTWARE\Bar" is written "SOFTWARE\Foo". Returns the key.
  RegDocumentKey* AddKey(RegRoot root, std::string_view path);

  // Sets a value, adding its key as needed. An existing value keeps its
  // name's case and its place. The caller has checked the names.
  void SetValue(RegRoot root, std::string_view path, std::string_view name, const RegValue& value);

  // Removes one value. Returns false when there was nothing to remove.
  bool DeleteValue(RegRoot root, std::string_view path, std::string_view name);

  // Removes a key and every key below it.
  void DeleteKeyTree(RegRoot root, std::string_view path);

 private:
  RegDocumentKey* FindMutableKey(RegRoot root, std::string_view path);
  // How an existing key at or below `prefix` spells that prefix; empty when
  // no such key exists.
  std::string ExistingSpelling(RegRoot root, std::string_view prefix) const;

  std::vector<RegDocumentKey> keys_;
};

}  // namespace gantrell
