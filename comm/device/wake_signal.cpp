#include "comm/device/wake_signal.hpp"

#include <cerrno>
#include <system_error>

#include <sys/eventfd.h>
#include <unistd.h>

namespace qor::device {

TWakeSignal::TWakeSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWakeSignal::~TWakeSignal() { close(fd_); }

// An eventfd counter only fails to grow at 2^64 - 2, and reading an empty one
// only reports EAGAIN: both results can be ignored.
void TWakeSignal::Raise() { static_cast<void>(eventfd_write(fd_, 1)); }

void TWakeSignal::Clear() {
  eventfd_t value = 0;
  static_cast<void>(eventfd_read(fd_, &value));
}

}  // namespace qor::device
