#pragma once
// Calendar arithmetic and the packed date-time of file dates: date in the high
// word (years since 1980, month, day), time in the low word (hour, minute,
// seconds / 2).
#include <cstdint>
#include <ctime>

namespace qor {

struct TCivilTime {
  std::int32_t Year = 0;
  std::int32_t Month = 0;  // 1..12
  std::int32_t Day = 0;    // 1..31
  std::int32_t Hour = 0;
  std::int32_t Minute = 0;
  std::int32_t Second = 0;
};

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day);
// The date that lies days after 1970-01-01 (time fields zero).
TCivilTime CivilFromDays(std::int64_t days);

// The packed value, or 0 when the year lies outside 1980..2107.
std::int32_t PackDateTime(const TCivilTime& t);
// False when a field is out of range (month 0, day 31 in April, second 60 ...).
bool UnpackDateTime(std::int32_t packed, TCivilTime& t);

// The packed local time of a file time; 0 when it cannot be packed.
std::int32_t PackedLocalTime(std::time_t when);

}  // namespace qor
