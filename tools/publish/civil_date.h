// Calendar dates as the publishing tool reads them from a manifest and
// writes them into a control file.
#pragma once

#include <string>
#include <string_view>

namespace gantrell::publish {

// A calendar date as the manifest and the control file write it.
struct CivilDate {
  int day = 0;
  int month = 0;
  int year = 0;
};

bool operator<(const CivilDate& a, const CivilDate& b);

// Reads "YYYY-MM-DD" or "D/M/YYYY". False for anything else and for days
// that do not exist; years are limited to 1970..2037, the span clients can
// hold.
bool ParseDate(std::string_view text, CivilDate* date);

// Today's date, and the date a file was last modified, in local time.
CivilDate Today();
bool FileDate(const std::string& path, CivilDate* date);
// The date `days` after `date`.
CivilDate AddDays(const CivilDate& date, int days);

}  // namespace gantrell::publish
