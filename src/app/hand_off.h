// The hand-off of provider addresses between instances: a later instance
// adds the addresses it was offered to the per-user setting "newprov", and
// the running instance registers them and takes out each one it has
// registered. Every change is one read-and-write under the settings
// store's lock, so that instances handing over at the same moment, and a
// registration ending meanwhile, all keep what the others wrote.
//
// A hand-off text holds addresses separated by " * ".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gantrell {

class Profile;

inline constexpr std::string_view kAddressSeparator = " * ";

// `text` without the blanks and line breaks around it.
std::string_view TrimmedAddress(std::string_view text);
// The addresses of a hand-off text, in order, each trimmed, without empty
// ones.
std::vector<std::string> SplitAddresses(std::string_view text);
// Whether `text` holds `address` as one of its addresses.
bool HoldsAddress(std::string_view text, std::string_view address);

// Adds to "newprov" every address of `text` that it does not hold yet.
// False with a message in *error when the setting cannot be written.
bool AddHandedOffAddresses(Profile& profile, std::string_view text, std::string* error);
// Takes `address` out of "newprov" (every copy of it); the others stay.
bool RemoveHandedOffAddress(Profile& profile, std::string_view address, std::string* error);
// The text of "newprov"; empty when nothing waits.
std::string ReadHandedOffAddresses(const Profile& profile);

}  // namespace gantrell
