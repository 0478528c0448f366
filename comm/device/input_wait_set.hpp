#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace qor::device {

// A few descriptors that one thread waits on for input, again and again.
// The set is kept in the kernel (epoll) between waits, so a wait does not
// hand over the list and put a waiter on every descriptor and take it off
// again, as each poll() does (about 1 us of a 1 KiB block's round trip over
// a pty). Should the kernel refuse an epoll descriptor, it waits with poll()
// instead. Used by one thread at a time.
class TInputWaitSet {
 public:
  static constexpr std::size_t kMaxFds = 4;

  TInputWaitSet() = default;
  ~TInputWaitSet() { Forget(); }
  TInputWaitSet(const TInputWaitSet&) = delete;
  TInputWaitSet& operator=(const TInputWaitSet&) = delete;

  // Whether Watch was called since the last Forget.
  bool Watching() const { return count_ != 0; }
  // Watches count descriptors (1 to kMaxFds) for input from now on.
  void Watch(const int* fds, std::size_t count);
  // Forgets the descriptors; call before any of them is closed.
  void Forget();
  // Waits up to ms (-1: no limit) for input, hang-up or an error on any of
  // them. Fills events[i] with the poll() bits of the i-th descriptor (0 for
  // one that is not ready) and returns how many are ready: 0 after the time
  // limit, -1 on a signal or failure.
  int Wait(int ms, std::array<short, kMaxFds>& events);

 private:
  int epoll_ = -1;
  std::array<int, kMaxFds> fds_{};
  std::size_t count_ = 0;
};

}  // namespace qor::device
