// Reading numbers the way the text formats were always read: like the C
// library's "%i" conversion (optional leading white space and sign, then a
// decimal number, "0x" hexadecimal or leading-zero octal; only a leading part
// of the text need be a number) and like "%u".
//
// Unlike sscanf these never have undefined behaviour on numbers out of
// range. A magnitude up to 0xFFFFFFFF keeps its 32-bit pattern, as the C
// library stores it ("4294967295" and "0xFFFFFFFF" read as -1); a positive
// magnitude beyond 32 bits reads as INT32_MAX and a negative one below
// INT32_MIN as INT32_MIN, so an absurd number cannot wrap to a small code.
#pragma once

#include <cstdint>
#include <string_view>

namespace gantrell {

// Scans a signed number from the start of `text` ("%i"). Returns false,
// leaving *value alone, when no digit scans. *consumed, when given, receives
// the count of characters read.
bool ScanInt(std::string_view text, std::int32_t* value, std::size_t* consumed = nullptr);

// Scans an unsigned decimal number ("%u"); a leading minus negates it modulo
// 2^32 as the C library does, and a magnitude beyond 32 bits reads as
// 0xFFFFFFFF. Returns false, leaving *value alone, when no digit scans.
bool ScanUnsigned(std::string_view text, std::uint32_t* value);

// Scans a signed decimal number from the start of `text`, as ScanInt does
// but always in base 10: leading zeros are only zeros ("08" is 8, not an
// octal number cut short) and "0x" is not a prefix. For the parts of dates.
bool ScanDecimalInt(std::string_view text, std::int32_t* value, std::size_t* consumed = nullptr);

// Scans the three decimal numbers of a date ("day month year", or a stored
// "year month day") separated by white space, leading zeros read as
// decimal. Returns false unless all three scan.
bool ScanDateNumbers(std::string_view text, std::int32_t* a, std::int32_t* b, std::int32_t* c);

}  // namespace gantrell
