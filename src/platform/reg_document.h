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

// Comment lines (each starting with ";") of a file read are kept with what
// follows them, so that writing the file back keeps them in their place.

struct RegDocumentValue {
  std::string name;  // empty for the key's default value
  RegValue value;
  std::vector<std::string> comments;  // the comment lines just before the value
};

struct RegDocumentKey {
  RegRoot root = RegRoot::kLocalMachine;
  std::string path;  // below the root, backslash-separated; empty for the root itself
  std::vector<RegDocumentValue> values;
  int line = 0;  // where the key's section first appears in the file read; 0 for new keys
  std::vector<std::string> comments;  // the comment lines just before the key's section
  // Comment lines after the key's last value, kept there when the value
  // they stood before is deleted.
  std::vector<std::string> trailing_comments;
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
  // name's case, its place and its comments. The caller has checked the
  // names. Returns the value's entry.
  RegDocumentValue* SetValue(RegRoot root, std::string_view path, std::string_view name,
                             const RegValue& value);

  // Removes one value. Its comments pass to the value after it, or stay at
  // the end of the key. Returns false when there was nothing to remove.
  bool DeleteValue(RegRoot root, std::string_view path, std::string_view name);

  // Removes a key and every key below it, with their comments.
  void DeleteKeyTree(RegRoot root, std::string_view path);

  // Comment lines after the file's header and before its first key, and
  // those after everything else.
  std::vector<std::string> leading_comments;
  std::vector<std::string> trailing_comments;

 private:
  RegDocumentKey* FindMutableKey(RegRoot root, std::string_view path);
  // How an existing key at or below `prefix` spells that prefix; empty when
  // no such key exists.
  std::string ExistingSpelling(RegRoot root, std::string_view prefix) const;

  std::vector<RegDocumentKey> keys_;
};

}  // namespace gantrell
