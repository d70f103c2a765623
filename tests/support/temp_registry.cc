#include "support/temp_registry.h"

#include <utility>

#include <gtest/gtest.h>

namespace gantrell::testing {

TempRegistry::TempRegistry() : TempRegistry(std::string()) {}

TempRegistry::TempRegistry(std::string app_data_folder)
    : registry_(dir_.File("user.reg"), dir_.File("machine.reg"),
                app_data_folder.empty() ? dir_.File("appdata") : std::move(app_data_folder)) {}

void TempRegistry::Set(RegRoot root, std::string_view path, std::string_view name,
                       const RegValue& value) {
  std::string error;
  if (!registry_.SetValue(root, path, name, value, &error)) {
    ADD_FAILURE() << "cannot set " << RegRootName(root) << "\\" << path << " \"" << name
                  << "\": " << error;
  }
}

void TempRegistry::SetString(RegRoot root, std::string_view path, std::string_view name,
                             std::string_view text, std::uint32_t type) {
  Set(root, path, name, RegValue::Text(text, type));
}

void TempRegistry::SetDword(RegRoot root, std::string_view path, std::string_view name,
                            std::uint32_t value) {
  Set(root, path, name, RegValue::Dword(value));
}

void TempRegistry::SetBinary(RegRoot root, std::string_view path, std::string_view name,
                             std::uint32_t type, std::vector<std::uint8_t> bytes) {
  Set(root, path, name, RegValue::Binary(std::move(bytes), type));
}

void TempRegistry::Delete(RegRoot root, std::string_view path, std::string_view name) {
  std::string error;
  if (!registry_.DeleteValue(root, path, name, &error)) {
    ADD_FAILURE() << "cannot delete " << RegRootName(root) << "\\" << path << " \"" << name
                  << "\": " << error;
  }
}

void TempRegistry::WriteUserFile(const std::string& text) {
  dir_.WriteFile("user.reg", text);
}

void TempRegistry::WriteMachineFile(const std::string& text) {
  dir_.WriteFile("machine.reg", text);
}

}  // namespace gantrell::testing
