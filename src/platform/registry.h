// The registry: a tree of keys under a few roots, each key holding named,
// typed values. On Windows this is the system registry; elsewhere the values
// live in text files in the `.reg` format (registry_file.h).
//
// Key and value names are compared without regard to letter case and keep the
// case they were written with. Key paths are separated by backslashes; an
// empty value name is the key's default value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gantrell {

enum class RegRoot {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kPerformanceData,
  kCurrentConfig,
  kDynData,
};

// The root's name as the `.reg` format writes it ("HKEY_LOCAL_MACHINE").
std::string_view RegRootName(RegRoot root);

// Value types, numbered as on Windows.
enum RegType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

// A value's type and its raw bytes, laid out as the Windows registry keeps
// them: texts are stored with their terminating zero byte, a REG_DWORD as four
// little-endian bytes, a REG_DWORD_BIG_ENDIAN as four big-endian bytes.
struct RegValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;

  static RegValue Text(std::string_view text, std::uint32_t type = kRegSz);
  static RegValue Dword(std::uint32_t value);
  static RegValue Binary(std::vector<std::uint8_t> bytes, std::uint32_t type = kRegBinary);

  // The data as text: up to the first zero byte or the end of the data.
  std::string AsText() const;

  friend bool operator==(const RegValue&, const RegValue&) = default;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // True when the key exists under the root.
  virtual bool KeyExists(RegRoot root, std::string_view key_path) const = 0;

  // Reads one value. Returns false when the key or the value does not exist
  // or the store cannot be read; *value is then unchanged.
  virtual bool QueryValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                          RegValue* value) const = 0;

  // Writes one value, creating the key and its parents as needed. Returns
  // false with a message naming the store in *error when the write fails;
  // the store is then as it was.
  virtual bool SetValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                        const RegValue& value, std::string* error) = 0;

  // Removes one value. Removing a value that does not exist succeeds.
  virtual bool DeleteValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                           std::string* error) = 0;

  // Reads one value and writes what `change` makes of it, as one step:
  // `change` gets the current value (null when there is none) and returns
  // false to leave the store as it is, or true with the new value in
  // *replacement. Returns false with a message in *error when the store
  // cannot be read or written. A store shared between processes overrides
  // this so that no other writer comes in between (the file store holds
  // its file lock across both); this default reads and then writes, which
  // is one step only while nobody else writes. `change` must not call the
  // store.
  using ValueChange = std::function<bool(const RegValue* current, RegValue* replacement)>;
  virtual bool UpdateValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                           const ValueChange& change, std::string* error);

  // Why the store cannot be used, one line per problem; empty when it can.
  virtual std::string Diagnostics() const { return {}; }
};

}  // namespace gantrell
