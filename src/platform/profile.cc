#include "platform/profile.h"

#include <utility>

namespace gantrell {

Profile::Profile(Registry& registry, std::string program_name)
    : registry_(registry), program_name_(std::move(program_name)) {}

std::string Profile::SectionKey(std::string_view section) const {
  return "Software\\Gantrell\\" + program_name_ + "\\" + std::string(section);
}

std::string Profile::GetProfileString(std::string_view section, std::string_view entry,
                                      std::string_view default_value) const {
  RegValue value;
  if (!registry_.QueryValue(RegRoot::kCurrentUser, SectionKey(section), entry, &value) ||
      (value.type != kRegSz && value.type != kRegExpandSz)) {
    return std::string(default_value);
  }
  return value.AsText();
}

bool Profile::WriteProfileString(std::string_view section, std::string_view entry,
                                 std::string_view value, std::string* error) {
  std::string ignored;
  return registry_.SetValue(RegRoot::kCurrentUser, SectionKey(section), entry,
                            RegValue::Text(value), error != nullptr ? error : &ignored);
}

bool Profile::UpdateProfileString(
    std::string_view section, std::string_view entry,
    const std::function<std::string(const std::string& current)>& change, std::string* error) {
  std::string ignored;
  return registry_.UpdateValue(
      RegRoot::kCurrentUser, SectionKey(section), entry,
      [&](const RegValue* current, RegValue* replacement) {
        const bool text =
            current != nullptr && (current->type == kRegSz || current->type == kRegExpandSz);
        *replacement = RegValue::Text(change(text ? current->AsText() : std::string()));
        return true;
      },
      error != nullptr ? error : &ignored);
}

bool Profile::DeleteProfileEntry(std::string_view section, std::string_view entry,
                                 std::string* error) {
  std::string ignored;
  return registry_.DeleteValue(RegRoot::kCurrentUser, SectionKey(section), entry,
                               error != nullptr ? error : &ignored);
}

}  // namespace gantrell
