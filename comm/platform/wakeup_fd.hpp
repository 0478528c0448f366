#pragma once

namespace qor::platform {

// An eventfd (close-on-exec, non-blocking) whose readability is switched on and
// off by its owner. It only wakes up a poller; it carries no data, and nobody
// else reads from it.
class WakeupFd {
 public:
  WakeupFd();  // throws std::system_error when no descriptor can be had
  ~WakeupFd();
  WakeupFd(const WakeupFd&) = delete;
  WakeupFd& operator=(const WakeupFd&) = delete;

  int Get() const { return fd_; }

  // Only call with the opposite of the current state (it starts unreadable).
  void SetReadable(bool readable);

 private:
  int fd_;
};

}  // namespace qor::platform
