// Calendar dates and second counts. Every time in Gantrell is a signed 64-bit
// count of seconds since 1970; every date read from a file stands for the
// local time of that day at 12:00:00, with daylight saving left to the system.
#pragma once

#include <cstdint>

namespace gantrell {

using Time = std::int64_t;

constexpr Time kSecondsPerDay = 86400;

// The local time of the given day at 12:00:00. Out-of-range months and days
// are carried over as the C library does (32 January is 1 February). Returns
// false, leaving *out alone, for dates the system cannot represent and for
// dates that carry beyond the year 100000 either way.
bool LocalNoon(int day, int month, int year, Time* out);

// The local calendar date of `t`. Returns false for times the system cannot
// convert.
bool LocalDate(Time t, int* day, int* month, int* year);

// The current time.
Time Now();

}  // namespace gantrell
