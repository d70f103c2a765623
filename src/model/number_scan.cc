#include "model/number_scan.h"

#include <limits>
#include <optional>

namespace gantrell {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return 99;
}

// The sign and magnitude of the number at the start of a text. The
// magnitude saturates just above 32 bits, which is all the callers need.
struct ScannedNumber {
  bool negative = false;
  std::uint64_t magnitude = 0;
  std::size_t consumed = 0;
};

std::optional<ScannedNumber> ScanNumber(std::string_view text, bool allow_prefixes) {
  std::size_t pos = 0;
  while (pos < text.size() && IsScanSpace(text[pos]))
    ++pos;
  ScannedNumber number;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    number.negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (allow_prefixes && pos < text.size() && text[pos] == '0') {
    // "0x" only switches to hexadecimal when a hex digit follows; otherwise
    // the 0 alone is the number, as the C library reads "0xz".
    if (pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        DigitValue(text[pos + 2]) < 16) {
      base = 16;
      pos += 2;
    } else {
      base = 8;
    }
  }
  bool any_digit = false;
  for (; pos < text.size(); ++pos) {
    const int digit = DigitValue(text[pos]);
    if (digit >= base)
      break;
    any_digit = true;
    number.magnitude =
        number.magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (number.magnitude > kMax32)
      number.magnitude = kMax32 + 1;
  }
  if (!any_digit)
    return std::nullopt;
  number.consumed = pos;
  return number;
}

// The 32-bit value of a scanned signed number, as the C library stores it.
std::int32_t SignedValue(const ScannedNumber& number) {
  if (number.magnitude > kMax32) {
    return number.negative ? std::numeric_limits<std::int32_t>::min()
                           : std::numeric_limits<std::int32_t>::max();
  }
  if (number.negative) {
    constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 31;
    return number.magnitude > kMinMagnitude
               ? std::numeric_limits<std::int32_t>::min()
               : static_cast<std::int32_t>(-static_cast<std::int64_t>(number.magnitude));
  }
  // A magnitude up to 0xFFFFFFFF keeps its 32-bit pattern, as the C
  // library stores it (conversion is modulo 2^32 since C++20).
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(number.magnitude));
}

bool ScanSigned(std::string_view text, bool allow_prefixes, std::int32_t* value,
                std::size_t* consumed) {
  const std::optional<ScannedNumber> number = ScanNumber(text, allow_prefixes);
  if (!number)
    return false;
  if (consumed != nullptr)
    *consumed = number->consumed;
  *value = SignedValue(*number);
  return true;
}

}  // namespace

bool ScanInt(std::string_view text, std::int32_t* value, std::size_t* consumed) {
  return ScanSigned(text, true, value, consumed);
}

bool ScanDecimalInt(std::string_view text, std::int32_t* value, std::size_t* consumed) {
  return ScanSigned(text, false, value, consumed);
}

bool ScanUnsigned(std::string_view text, std::uint32_t* value) {
  const std::optional<ScannedNumber> number = ScanNumber(text, false);
  if (!number)
    return false;
  if (number->magnitude > kMax32) {
    *value = static_cast<std::uint32_t>(kMax32);
  } else {
    const auto magnitude = static_cast<std::uint32_t>(number->magnitude);
    *value = number->negative ? 0u - magnitude : magnitude;
  }
  return true;
}

bool ScanDateNumbers(std::string_view text, std::int32_t* a, std::int32_t* b, std::int32_t* c) {
  std::int32_t values[3];
  std::size_t pos = 0;
  for (std::int32_t& v : values) {
    std::size_t used = 0;
    if (!ScanDecimalInt(text.substr(pos), &v, &used))
      return false;
    pos += used;
  }
  *a = values[0];
  *b = values[1];
  *c = values[2];
  return true;
}

}  // namespace gantrell
