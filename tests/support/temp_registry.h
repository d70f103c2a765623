// A FileRegistry on user.reg and machine.reg in a temporary folder, with
// short setters for arranging test data. The folder is removed at the end.
//
//   TempRegistry reg;
//   reg.SetDword(RegRoot::kLocalMachine, "SOFTWARE\\Foo", "Level", 10);
//   Evaluate(condition, reg.registry());
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_file.h"
#include "support/temp_dir.h"

namespace gantrell::testing {

class TempRegistry {
 public:
  // The "AppData" shell folder is answered with `app_data_folder` when the
  // files hold none; the default is a folder "appdata" inside the temporary
  // folder (not created).
  TempRegistry();
  explicit TempRegistry(std::string app_data_folder);

  FileRegistry& registry() { return registry_; }
  const FileRegistry& registry() const { return registry_; }
  operator Registry&() { return registry_; }

  const std::string& folder() const { return dir_.path(); }
  std::string user_file() const { return dir_.File("user.reg"); }
  std::string machine_file() const { return dir_.File("machine.reg"); }

  // Each setter stores one value and fails the current test if it cannot.
  void SetString(RegRoot root, std::string_view path, std::string_view name, std::string_view text,
                 std::uint32_t type = kRegSz);
  void SetDword(RegRoot root, std::string_view path, std::string_view name, std::uint32_t value);
  void SetBinary(RegRoot root, std::string_view path, std::string_view name, std::uint32_t type,
                 std::vector<std::uint8_t> bytes);
  void Set(RegRoot root, std::string_view path, std::string_view name, const RegValue& value);
  void Delete(RegRoot root, std::string_view path, std::string_view name);

  // Replaces a store file with the given text, bypassing the registry (for
  // hand-written or malformed files).
  void WriteUserFile(const std::string& text);
  void WriteMachineFile(const std::string& text);

 private:
  TempDir dir_;
  FileRegistry registry_;
};

}  // namespace gantrell::testing
