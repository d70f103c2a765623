#include "platform/environment.h"


namespace gantrell {

std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      break;
    }
    out.append(text, pos, open - pos);
    std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      pos = open;  // a lone "%": copied with the rest below
      break;
    }
    std::string name(text.substr(open + 1, close - open - 1));
    // No variable's name holds "=" or a zero byte.
    std::string value;
    if (!name.empty() && name.find_first_of(std::string_view("=\0", 2)) == std::string::npos &&
        LookUpEnvironment(name, &value)) {
      out += value;
      pos = close + 1;
    } else {
      out.append(text, open, close - open);  // keep "%NAME"; the closing % is looked at again
      pos = close;
    }
  }
  out.append(text, pos, std::string_view::npos);
  return out;
}

}  // namespace gantrell
