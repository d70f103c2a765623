#include "model/local_time.h"

#include <climits>
#include <ctime>

namespace gantrell {

bool LocalNoon(int day, int month, int year, Time* out) {
  // Dates come from files anyone may have written: keep every field far
  // from the ends of the int range, so that neither the arithmetic here nor
  // mktime's carrying of months into years can overflow.
  constexpr int kYearLimit = 100000;
  constexpr int kMonthLimit = 12 * kYearLimit;
  constexpr int kDayLimit = 366 * kYearLimit;
  if (year < -kYearLimit || year > kYearLimit || month < -kMonthLimit || month > kMonthLimit ||
      day < -kDayLimit || day > kDayLimit) {
    return false;
  }
  std::tm tm{};
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year - 1900;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) {
    // -1 is also 23:59:59 on 31 December 1969 UTC; a noon is never that.
    return false;
  }
  // Days and months carried over may land beyond the year limit; such a
  // date could be stored but not read back, so it is refused here too.
  if (tm.tm_year + 1900 < -kYearLimit || tm.tm_year + 1900 > kYearLimit)
    return false;
  *out = static_cast<Time>(t);
  return true;
}

bool LocalDate(Time t, int* day, int* month, int* year) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (localtime_r(&tt, &tm) == nullptr)
    return false;
  *day = tm.tm_mday;
  *month = tm.tm_mon + 1;
  *year = tm.tm_year + 1900;
  return true;
}

Time Now() {
  return static_cast<Time>(std::time(nullptr));
}

}  // namespace gantrell
