#include "model/local_time.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace gantrell {

namespace {

long long FloorDiv(long long a, long long b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = FloorDiv(y, 400);
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

long long YearOfDays(long long z) {
  z += 719468;
  const long long era = FloorDiv(z, 146097);
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  return yoe + era * 400 + (mp >= 10);
}

// The year a date lands in once its days and months are carried, worked
// out here rather than read back from mktime: not every C runtime carries
// fields this large correctly (Windows' gets years far out wrong).
long long CarriedYear(int day, int month, int year) {
  const long long months = static_cast<long long>(month) - 1;
  const long long y = year + FloorDiv(months, 12);
  const long long m = months - 12 * FloorDiv(months, 12) + 1;
  return YearOfDays(DaysFromCivil(y, m, 1) + day - 1);
}

// The C library reads the zone file again on every mktime when TZ is
// unset (glibc looks at /etc/localtime each call), and a list of 100,000
// items of a handful of dates would pay that 100,000 times. The last few
// dates converted are kept per thread, with the TZ they were converted
// under, so that a changed TZ converts afresh.
struct NoonAnswer {
  int day = 0, month = 0, year = 0;
  bool valid = false;  // the entry holds an answer
  bool ok = false;
  Time noon = 0;
};

class NoonMemo {
 public:
  template <typename Convert>
  bool Answer(int day, int month, int year, Time* out, Convert convert) {
    const char* zone = std::getenv("TZ");
    if ((zone != nullptr) != m_bZoneSet || (zone != nullptr && m_zone != zone)) {
      m_answers = {};
      m_bZoneSet = zone != nullptr;
      m_zone = zone != nullptr ? zone : "";
    }
    for (const NoonAnswer& answer : m_answers) {
      if (answer.valid && answer.day == day && answer.month == month && answer.year == year) {
        if (answer.ok)
          *out = answer.noon;
        return answer.ok;
      }
    }
    NoonAnswer& slot = m_answers[m_next];
    m_next = (m_next + 1) % m_answers.size();
    slot = NoonAnswer{day, month, year, true, false, 0};
    slot.ok = convert(&slot.noon);
    if (slot.ok)
      *out = slot.noon;
    return slot.ok;
  }

 private:
  std::array<NoonAnswer, 8> m_answers{};
  std::size_t m_next = 0;
  bool m_bZoneSet = false;
  std::string m_zone;
};

bool ConvertNoon(int day, int month, int year, Time* out) {
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
  // Days and months carried over may land beyond the year limit; such a
  // date could be stored but not read back, so it is refused.
  const long long carried = CarriedYear(day, month, year);
  if (carried < -kYearLimit || carried > kYearLimit)
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
  if (tm.tm_year + 1900 < -kYearLimit || tm.tm_year + 1900 > kYearLimit)
    return false;
  *out = static_cast<Time>(t);
  return true;
}

}  // namespace

bool LocalNoon(int day, int month, int year, Time* out) {
  thread_local NoonMemo memo;
  return memo.Answer(day, month, year, out, [&](Time* noon) {
    return ConvertNoon(day, month, year, noon);
  });
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
