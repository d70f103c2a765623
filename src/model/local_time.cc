#include "model/local_time.h"

#include <climits>
#include <ctime>

namespace gantrell {

bool LocalNoon(int day, int month, int year, Time* out) {
  // tm_year counts from 1900 in an int; keep far-away years out of mktime.
  if (year < -100000 || year > 100000)
    return false;
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
