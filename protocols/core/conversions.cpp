// File dates as seconds since 1970 and back, and octal numbers as header
// fields carry them. Seconds count local wall-clock time from 1970-01-01.
#include <ctime>
#include <limits>

#include "protocols/core/packed_date.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kOctalDigits = 12;
constexpr std::size_t kMaxOctalValueDigits = 11;

// 0 when the value does not fit the 32-bit result, like any failed conversion.
std::int32_t SecondsOrZero(std::int64_t seconds) {
  if (seconds < 0 || seconds > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(seconds);
}

std::int64_t SecondsOf(const TCivilTime& t) {
  return DaysFromCivil(t.Year, t.Month, t.Day) * kSecondsPerDay + t.Hour * 3600 + t.Minute * 60 +
         t.Second;
}

}  // namespace

std::int32_t FileDateToUnixSeconds(std::int32_t file_date) {
  TCivilTime t;
  if (!UnpackDateTime(file_date, t)) return 0;
  return SecondsOrZero(SecondsOf(t));
}

std::int32_t UnixSecondsToFileDate(std::int32_t seconds) {
  const std::int64_t days = seconds >= 0 ? seconds / kSecondsPerDay
                                         : (seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
  const std::int64_t rest = seconds - days * kSecondsPerDay;
  TCivilTime t = CivilFromDays(days);
  t.Hour = static_cast<std::int32_t>(rest / 3600);
  t.Minute = static_cast<std::int32_t>(rest / 60 % 60);
  t.Second = static_cast<std::int32_t>(rest % 60);
  return PackDateTime(t);
}

std::int32_t CurrentUnixSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return 0;
  return SecondsOrZero(SecondsOf({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                  local.tm_hour, local.tm_min, local.tm_sec}));
}

std::string OctalString(std::uint32_t value) {
  std::string text(kOctalDigits, '0');
  for (int i = kOctalDigits - 1; i >= 0 && value != 0; --i, value >>= 3) {
    text[static_cast<std::size_t>(i)] = static_cast<char>('0' + (value & 7));
  }
  return text;
}

std::uint32_t OctalValue(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) < '!') --end;
  std::size_t begin = 0;
  while (begin < end && (static_cast<unsigned char>(text[begin]) < '!' || text[begin] == '0')) {
    ++begin;
  }
  if (end - begin > kMaxOctalValueDigits) return 0;
  std::uint64_t value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < '0' || text[i] > '7') return 0;
    value = value * 8 + static_cast<std::uint64_t>(text[i] - '0');
  }
  // Eleven digits reach past 32 bits; a wrapped value would be a wrong length.
  return value > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(value);
}

}  // namespace qor
