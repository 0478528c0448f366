#include "protocols/xymodem/received_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "protocols/core/packed_date.hpp"
#include "protocols/xymodem/xymodem_data.hpp"

namespace qor {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// The moment that local wall-clock seconds since 1970 stand for.
std::time_t FromLocalSeconds(std::uint32_t seconds) {
  const TCivilTime day = CivilFromDays(static_cast<std::int64_t>(seconds) / kSecondsPerDay);
  const std::int64_t rest = static_cast<std::int64_t>(seconds) % kSecondsPerDay;
  std::tm local{};
  local.tm_year = day.Year - 1900;
  local.tm_mon = day.Month - 1;
  local.tm_mday = day.Day;
  local.tm_hour = static_cast<int>(rest / 3600);
  local.tm_min = static_cast<int>(rest / 60 % 60);
  local.tm_sec = static_cast<int>(rest % 60);
  local.tm_isdst = -1;
  return std::mktime(&local);
}

std::int32_t Settle(int fd, std::int32_t size, std::uint32_t seconds, std::int64_t& length) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -errno;
  length = st.st_size;
  if (size > 0 && st.st_size > size && st.st_size - size < kLongBlock) {
    if (::ftruncate(fd, size) != 0) return -errno;
    length = size;
  }
  if (seconds == 0) return 0;
  const timespec times[2] = {{0, UTIME_OMIT}, {FromLocalSeconds(seconds), 0}};
  return ::futimens(fd, times) == 0 ? 0 : -errno;
}

}  // namespace

std::int32_t SettleReceivedFile(const char* path, std::int32_t size, std::uint32_t seconds,
                                std::int64_t& length) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const std::int32_t result = Settle(fd, size, seconds, length);
  if (::close(fd) != 0 && result == 0) return -errno;
  return result;
}

}  // namespace qor
