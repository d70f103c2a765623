#include "platform/registry.h"

#include <utility>

namespace gantrell {

std::string_view RegRootName(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegRoot::kUsers:
      return "HKEY_USERS";
    case RegRoot::kPerformanceData:
      return "HKEY_PERFORMANCE_DATA";
    case RegRoot::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
    case RegRoot::kDynData:
      return "HKEY_DYN_DATA";
  }
  return "";
}

RegValue RegValue::Text(std::string_view text, std::uint32_t type) {
  RegValue value;
  value.type = type;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  return value;
}

RegValue RegValue::Dword(std::uint32_t number) {
  RegValue value;
  value.type = kRegDword;
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<std::uint8_t>(number >> shift));
  }
  return value;
}

RegValue RegValue::Binary(std::vector<std::uint8_t> bytes, std::uint32_t type) {
  RegValue value;
  value.type = type;
  value.data = std::move(bytes);
  return value;
}

std::string RegValue::AsText() const {
  std::string text;
  for (std::uint8_t byte : data) {
    if (byte == 0) {
      break;
    }
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

bool Registry::UpdateValue(RegRoot root, std::string_view key_path, std::string_view value_name,
                           const ValueChange& change, std::string* error) {
  RegValue current;
  const bool exists = QueryValue(root, key_path, value_name, &current);
  RegValue replacement;
  if (!change(exists ? &current : nullptr, &replacement))
    return true;
  return SetValue(root, key_path, value_name, replacement, error);
}

}  // namespace gantrell
