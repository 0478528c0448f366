#pragma once

namespace qor::device {

// A descriptor that a thread blocked in poll() watches to be woken at once.
// Raise makes it readable and it stays so until Clear: a Raise is never lost,
// however it interleaves with the waiter's Clear.
class TWakeSignal {
 public:
  TWakeSignal();  // throws std::system_error when no descriptor can be had
  ~TWakeSignal();
  TWakeSignal(const TWakeSignal&) = delete;
  TWakeSignal& operator=(const TWakeSignal&) = delete;

  int Fd() const { return fd_; }
  void Raise();
  void Clear();

 private:
  int fd_;
};

}  // namespace qor::device
