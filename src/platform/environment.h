// Environment references in texts, as stored in REG_EXPAND_SZ values.
#pragma once

#include <string>
#include <string_view>

namespace gantrell {

// Replaces every "%NAME%" whose NAME is set in the environment with its
// value. A reference to an unset name, "%%" and a lone "%" stay as they are;
// the closing "%" of an unknown name may open the next reference, so
// "50% of %HOME%" expands HOME. Names are matched exactly (case-sensitive).
// Values are not expanded again. On Windows names are matched as the system
// matches them, without regard to letter case.
std::string ExpandEnvironmentStrings(std::string_view text);

// The value of the environment variable `name` (UTF-8); false when it is
// not set.
bool LookUpEnvironment(const std::string& name, std::string* value);

}  // namespace gantrell
