// The provider store text (provdata.dat, and newprovs.dat from outside
// tools): one stream of blank-separated tokens holding every provider, group
// and item with the item conditions. docs/store-format.md has an example.
#pragma once

#include <string>
#include <string_view>

#include "model/local_time.h"
#include "model/provider_list.h"

namespace gantrell {

class CTokenReader;

// Appends `text` as a store text: backslashes become "\A", then double
// quotes become "\B", and the result is written in double quotes followed
// by one blank.
void WriteQuoted(std::string_view text, std::string* out);

// Undoes WriteQuoted on a token the reader returned without its quotes:
// first "\B" becomes a double quote, then "\A" a backslash.
std::string ReadQuoted(std::string_view token);

// Reads provider, group and item records from `reader` and appends the
// providers to *providers. Returns true after the closing "END" with
// nothing after it; false when the input ends first, keeping everything
// read so far (the last record may be partly filled). A next check more
// than 80 days after `now` is brought forward to now plus 80 days.
//
// A part that cannot be followed does not end the reading: an item whose
// condition is of an unknown kind or cannot be read whole keeps
// MakeUnreadableCondition() in its place, and after anything out of step
// the reading goes on at the next record keyword, so the records after it
// are kept. *read_whole, when given, is true only when the store was read
// to its END with nothing skipped or replaced; otherwise the caller keeps
// the original text, which the next save would not write back as it was.
bool ReadStore(CTokenReader& reader, ProviderList* providers, Time now, bool* read_whole = nullptr);

// The store text for `providers` in the current record layout (version 3).
std::string FormatStore(const ProviderList& providers);

// The longest provider address the store keeps; a longer one would come
// back cut short, so it is never registered.
constexpr std::size_t kStoredAddressLimit = 256;
// The longest save path of an item the store keeps, for the same reason.
constexpr std::size_t kStoredSavePathLimit = 512;

// The next check of a loaded provider is never further than this ahead.
constexpr Time kMaxNextCheckAhead = 6912000;  // 80 days

}  // namespace gantrell
