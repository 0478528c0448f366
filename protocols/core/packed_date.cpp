#include "protocols/core/packed_date.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFirstYear = 1980;
constexpr std::int32_t kLastYear = kFirstYear + 127;  // seven bits of years

bool IsLeap(std::int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

// Howard Hinnant's days_from_civil / civil_from_days.
std::int64_t DaysFromCivil(std::int32_t year, std::int32_t month, std::int32_t day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TCivilTime CivilFromDays(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  TCivilTime t;
  t.Day = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  t.Month = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  t.Year = static_cast<std::int32_t>(yoe + era * 400 + (t.Month <= 2 ? 1 : 0));
  return t;
}

std::int32_t PackDateTime(const TCivilTime& t) {
  if (t.Year < kFirstYear || t.Year > kLastYear) return 0;
  const auto date = static_cast<std::uint32_t>(((t.Year - kFirstYear) << 9) | (t.Month << 5) | t.Day);
  const auto time = static_cast<std::uint32_t>((t.Hour << 11) | (t.Minute << 5) | (t.Second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

bool UnpackDateTime(std::int32_t packed, TCivilTime& t) {
  const auto bits = static_cast<std::uint32_t>(packed);
  const std::uint32_t date = bits >> 16;
  const std::uint32_t time = bits & 0xFFFF;
  t.Year = kFirstYear + static_cast<std::int32_t>(date >> 9);
  t.Month = static_cast<std::int32_t>((date >> 5) & 15);
  t.Day = static_cast<std::int32_t>(date & 31);
  t.Hour = static_cast<std::int32_t>(time >> 11);
  t.Minute = static_cast<std::int32_t>((time >> 5) & 63);
  t.Second = static_cast<std::int32_t>(time & 31) * 2;
  return t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= DaysInMonth(t.Year, t.Month) &&
         t.Hour < 24 && t.Minute < 60 && t.Second < 60;
}

std::int32_t PackedLocalTime(std::time_t when) {
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return 0;
  return PackDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec});
}

}  // namespace qor
