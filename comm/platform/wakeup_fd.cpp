#include "comm/platform/wakeup_fd.hpp"

#include <cerrno>
#include <system_error>

#include <sys/eventfd.h>
#include <unistd.h>

namespace qor::platform {

WakeupFd::WakeupFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeupFd::~WakeupFd() { close(fd_); }

void WakeupFd::SetReadable(bool readable) {
  // Neither can fail: the counter only moves between 0 and 1.
  if (readable) {
    static_cast<void>(eventfd_write(fd_, 1));
  } else {
    eventfd_t value = 0;
    static_cast<void>(eventfd_read(fd_, &value));
  }
}

}  // namespace qor::platform
