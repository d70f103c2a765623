// Pieces of the condition text shared by every condition kind: the integer
// scans its number fields go through, the key/value loop of the flat kinds
// and the writing of quoted texts.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace gantrell {

class CTokenReader;

// Longest key and value tokens kept; longer ones are cut to these lengths.
constexpr int kConditionKeyLength = 20;
constexpr int kConditionValueLength = 200;

// Sets *field from `value` when it scans; otherwise leaves it as it was.
void StoreConditionInt(std::string_view value, std::int32_t* field);

// Reads key/value pairs until a key or a value is END or the input ends,
// handing each pair to `store`. The reader then stands after the END.
// Returns false when the input ended before the END.
bool ReadConditionPairs(
    CTokenReader& reader,
    const std::function<void(const std::string& key, const std::string& value)>& store);

// Writes a text value. Normally it goes out in double quotes. A text that
// holds a double quote cannot be quoted without breaking everything after
// it, so when it has no blank (as any such text read from a condition does)
// it is written bare, which reads back unchanged; failing that the quotes are
// dropped from it.
void WriteConditionText(std::ostream& out, std::string_view text);

}  // namespace gantrell
