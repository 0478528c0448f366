#include "comm/device/line_errors.hpp"

#include <sys/ioctl.h>

namespace qor::device {

void TLineErrorCounter::Start(int fd) {
  std::lock_guard lock(mutex_);
  supported_ = ioctl(fd, TIOCGICOUNT, &last_) == 0;
  pending_ = 0;
}

std::uint32_t TLineErrorCounter::PollLocked(int fd) {
  if (!supported_) return 0;
  serial_icounter_struct now{};
  if (ioctl(fd, TIOCGICOUNT, &now) != 0) return 0;
  std::uint32_t bits = 0;
  if (now.buf_overrun != last_.buf_overrun) bits |= 1;
  if (now.overrun != last_.overrun) bits |= 2;
  if (now.parity != last_.parity) bits |= 4;
  if (now.frame != last_.frame) bits |= 8;
  if (now.brk != last_.brk) bits |= 16;
  last_ = now;
  pending_ |= bits;
  return bits;
}

std::uint32_t TLineErrorCounter::Poll(int fd) {
  std::lock_guard lock(mutex_);
  return PollLocked(fd);
}

std::uint32_t TLineErrorCounter::Take(int fd) {
  std::lock_guard lock(mutex_);
  PollLocked(fd);
  const std::uint32_t bits = pending_;
  pending_ = 0;
  return bits;
}

}  // namespace qor::device
