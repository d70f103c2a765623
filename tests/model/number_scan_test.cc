#include "model/number_scan.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

namespace gantrell {
namespace {

std::optional<std::int32_t> ScanIntOrNothing(const std::string& text) {
  std::int32_t value = 0;
  if (!ScanInt(text, &value))
    return std::nullopt;
  return value;
}

// "%u" as the conditions use it: text that does not scan reads as 0.
std::uint32_t ScanUnsignedOrZero(const std::string& text) {
  std::uint32_t value = 0;
  ScanUnsigned(text, &value);
  return value;
}

TEST(NumberScanTest, ReadsLikeTheRuntimeForNumbersInRange) {
  struct Case {
    std::string input;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-0x10", -16},
      {"017", 15},
      {"-017", -15},
      {"08", 0},
      {"0xz", 0},
      {"0x", 0},
      {" \t\n12", 12},
      {"12abc", 12},
      {"3 4", 3},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"0x7fffffff", INT_MAX},
      {"000000000000000000005", 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanIntOrNothing(c.input), std::optional<std::int32_t>(c.expected)) << c.input;
  }
}

TEST(NumberScanTest, OutOfRangeIsDefinedAndCannotAliasSmallCodes) {
  struct Case {
    std::string input;
    std::int32_t expected;
  };
  const Case cases[] = {
      // 32-bit patterns keep their bits, as the runtime gives them.
      {"0xFFFFFFFF", -1},
      {"4294967295", -1},
      {"2147483648", INT_MIN},
      {"037777777777", -1},
      // Beyond 32 bits: the nearest end of the range, never a wrapped value.
      {"4294967296", INT_MAX},
      {"4294967297", INT_MAX},
      {"0x100000001", INT_MAX},
      {"99999999999999999999999999999999", INT_MAX},
      {"-2147483649", INT_MIN},
      {"-0xFFFFFFFF", INT_MIN},
      {"-99999999999999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanIntOrNothing(c.input), std::optional<std::int32_t>(c.expected)) << c.input;
  }
}

TEST(NumberScanTest, TextWithoutLeadingDigitsDoesNotScan) {
  for (const std::string input : {"", " ", "abc", "-", "+", "- 5", "+-5", "x10", "END", "\"1\""}) {
    EXPECT_EQ(ScanIntOrNothing(input), std::nullopt) << input;
  }
}

TEST(NumberScanTest, KeepsTheFieldWhenNothingScans) {
  std::int32_t field = 5;
  EXPECT_FALSE(ScanInt("zz", &field));
  EXPECT_EQ(field, 5);
  EXPECT_TRUE(ScanInt("-0", &field));
  EXPECT_EQ(field, 0);
}

TEST(NumberScanTest, ReadsDecimalOnlyAndWrapsNegatives) {
  struct Case {
    std::string input;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"10", 10},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"0x10", 0},  // only the 0 scans
      {"010", 10},  // no octal
      {" 7z", 7},
      {"+3", 3},
      {"-1", 4294967295u},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},
      {"-4294967296", 4294967295u},
      {"123456789012345678901234567890", 4294967295u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanUnsignedOrZero(c.input), c.expected) << c.input;
  }
}

TEST(NumberScanTest, DateNumbersAreDecimalWhateverTheirLeadingZeros) {
  const struct {
    const char* input;
    std::int32_t day, month, year;
  } cases[] = {
      {"08 09 2026", 8, 9, 2026},    {"09 08 02026", 9, 8, 2026}, {"010 011 2026", 10, 11, 2026},
      {"0x1 2 2026", 0, 0, 0},  // "0x" is no prefix: 0, then "x1" does not scan
      {"-01 +02 2026", -1, 2, 2026},
  };
  for (const auto& c : cases) {
    std::int32_t d = 0, m = 0, y = 0;
    const bool scanned = ScanDateNumbers(c.input, &d, &m, &y);
    EXPECT_EQ(scanned, c.year != 0) << c.input;
    if (scanned) {
      EXPECT_EQ(d, c.day) << c.input;
      EXPECT_EQ(m, c.month) << c.input;
      EXPECT_EQ(y, c.year) << c.input;
    }
  }
  std::int32_t value = 5;
  std::size_t used = 0;
  EXPECT_TRUE(ScanDecimalInt("  0099x", &value, &used));
  EXPECT_EQ(value, 99);
  EXPECT_EQ(used, 6u);
}

TEST(NumberScanTest, DateNumbersNeedAllThree) {
  std::int32_t d = 0, m = 0, y = 0;
  EXPECT_TRUE(ScanDateNumbers("1 3 2004", &d, &m, &y));
  EXPECT_EQ(d, 1);
  EXPECT_EQ(m, 3);
  EXPECT_EQ(y, 2004);
  EXPECT_TRUE(ScanDateNumbers("1\t3\n2004 trailing", &d, &m, &y));
  EXPECT_FALSE(ScanDateNumbers("1 3", &d, &m, &y));
  EXPECT_FALSE(ScanDateNumbers("1/3/2004", &d, &m, &y));
  EXPECT_FALSE(ScanDateNumbers("", &d, &m, &y));
}

}  // namespace
}  // namespace gantrell
