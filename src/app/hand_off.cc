#include "app/hand_off.h"

#include <algorithm>

#include "app/client_app.h"
#include "platform/profile.h"

namespace gantrell {
namespace {

constexpr const char* kHandOffEntry = "newprov";

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string text;
  for (const std::string& address : addresses) {
    if (!text.empty())
      text += kAddressSeparator;
    text += address;
  }
  return text;
}

}  // namespace

std::string_view TrimmedAddress(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::vector<std::string> SplitAddresses(std::string_view text) {
  std::vector<std::string> addresses;
  for (;;) {
    const std::size_t at = text.find(kAddressSeparator);
    // A file of addresses saved by an editor ends with a line break; the
    // address is registered without it, so it is compared without it too.
    const std::string_view address = TrimmedAddress(text.substr(0, at));
    if (!address.empty())
      addresses.emplace_back(address);
    if (at == std::string_view::npos)
      break;
    text.remove_prefix(at + kAddressSeparator.size());
  }
  return addresses;
}

bool HoldsAddress(std::string_view text, std::string_view address) {
  const std::vector<std::string> addresses = SplitAddresses(text);
  return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

bool AddHandedOffAddresses(Profile& profile, std::string_view text, std::string* error) {
  return profile.UpdateProfileString(
      kSettingsSection, kHandOffEntry,
      [text](const std::string& current) {
        std::vector<std::string> addresses = SplitAddresses(current);
        for (std::string& address : SplitAddresses(text)) {
          if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(std::move(address));
        }
        return JoinAddresses(addresses);
      },
      error);
}

bool RemoveHandedOffAddress(Profile& profile, std::string_view address, std::string* error) {
  return profile.UpdateProfileString(
      kSettingsSection, kHandOffEntry,
      [address](const std::string& current) {
        std::vector<std::string> addresses = SplitAddresses(current);
        std::erase(addresses, address);
        return JoinAddresses(addresses);
      },
      error);
}

std::string ReadHandedOffAddresses(const Profile& profile) {
  return profile.GetProfileString(kSettingsSection, kHandOffEntry, "");
}

}  // namespace gantrell
