#include "civil_date.h"

#include <charconv>
#include <ctime>
#include <tuple>

#include "platform/file_access.h"

namespace gantrell::publish {

namespace {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int month, int year) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool ValidDate(const CivilDate& date) {
  return date.year >= 1970 && date.year <= 2037 && date.month >= 1 && date.month <= 12 &&
         date.day >= 1 && date.day <= DaysInMonth(date.month, date.year);
}

// Splits `text` at `separator` into exactly three whole numbers.
bool SplitThree(std::string_view text, char separator, int* a, int* b, int* c) {
  int* parts[] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = i < 2 ? text.find(separator) : text.size();
    if (end == std::string_view::npos || end == 0)
      return false;
    const auto result = std::from_chars(text.data(), text.data() + end, *parts[i]);
    if (result.ec != std::errc() || result.ptr != text.data() + end)
      return false;
    text.remove_prefix(i < 2 ? end + 1 : end);
  }
  return true;
}

CivilDate DateOf(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

}  // namespace

bool operator<(const CivilDate& a, const CivilDate& b) {
  return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
}

bool ParseDate(std::string_view text, CivilDate* date) {
  CivilDate parsed;
  const bool scanned = text.find('-') != std::string_view::npos
                           ? SplitThree(text, '-', &parsed.year, &parsed.month, &parsed.day)
                           : SplitThree(text, '/', &parsed.day, &parsed.month, &parsed.year);
  if (!scanned || !ValidDate(parsed))
    return false;
  *date = parsed;
  return true;
}

CivilDate Today() {
  return DateOf(std::time(nullptr));
}

bool FileDate(const std::string& path, CivilDate* date) {
  std::int64_t changed = 0;
  if (!FileModifiedTime(path, &changed))
    return false;
  *date = DateOf(static_cast<std::time_t>(changed));
  return ValidDate(*date);
}

CivilDate AddDays(const CivilDate& date, int days) {
  std::tm noon{};
  noon.tm_year = date.year - 1900;
  noon.tm_mon = date.month - 1;
  noon.tm_mday = date.day + days;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  return DateOf(std::mktime(&noon));
}

}  // namespace gantrell::publish
