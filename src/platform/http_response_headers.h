// Reading the response headers a download needs, the same for every
// network backend.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/http.h"

namespace gantrell {

// A decimal number that fills all of `text`; -1 otherwise (or on overflow).
std::int64_t HttpWholeNumber(std::string_view text);

// Reads "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"), or a refusal's
// "bytes */TOTAL", into the response's range_first and range_total; both
// -1 when `value` does not read as one.
void ReadContentRange(const std::string& value, HttpResponseInfo* response);

}  // namespace gantrell
