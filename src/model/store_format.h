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
// providers to *providers. Returns true after the closing "END"; false when
// the input ends first, keeping everything read so far (the last record may
// be partly filled). A next check more than 80 days after `now` is brought
// forward to now plus 80 days.
bool ReadStore(CTokenReader& reader, ProviderList* providers, Time now);

// The store text for `providers` in the current record layout (version 3).
std::string FormatStore(const ProviderList& providers);

// The next check of a loaded provider is never further than this ahead.
constexpr Time kMaxNextCheckAhead = 6912000;  // 80 days

}  // namespace gantrell
