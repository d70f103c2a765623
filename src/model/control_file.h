// What parsing a provider's control file needs from outside the provider:
// the clock, the random draw that spreads the next check, and the place of
// an item's downloaded file (to delete it when the item moves).
// docs/control-file.md describes the format with an example.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "model/local_time.h"

namespace gantrell {

class CUpdateItem;

struct ControlFileContext {
  Time now = 0;
  // A draw from 0 to 32767.
  std::function<int()> draw;
  // The item's default save path; empty when it has no place on disk.
  std::function<std::string(const CUpdateItem&)> default_save_path;
  // The same path with its folders made, for a file that follows its item
  // to a new number; empty when it cannot have one.
  std::function<std::string(const CUpdateItem&)> new_save_path;
};

// The largest draw `ControlFileContext::draw` returns.
constexpr int kMaxDraw = 32767;

// The list date of a control file text, read from its header alone, so that
// a list can be judged before anything of it is merged. False when the
// header cannot be read or its date does not scan.
bool ReadControlListDate(const std::string& text, Time* list_date);

// CUpdateItem::m_strSha256 of an entry whose "SHA256" is not followed by 64
// hexadecimal digits: a digest no file matches.
inline constexpr std::string_view kUnreadableSha256 = "-";

}  // namespace gantrell
