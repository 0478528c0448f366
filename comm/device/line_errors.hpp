#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include <linux/serial.h>

namespace qor::device {

// Line errors from the driver's error counters (TIOCGICOUNT), as device error
// bits: 1 receive queue overrun, 2 hardware overrun, 4 parity, 8 framing,
// 16 break. Drivers without counters (ptys) report none, at no cost.
class TLineErrorCounter {
 public:
  // Takes the device's counters as they are now as the starting point.
  void Start(int fd);
  // Bits of errors counted since the last look; they are also kept for Take.
  std::uint32_t Poll(int fd);
  // Every bit seen since the last Take, cleared.
  std::uint32_t Take(int fd);
  // Whether the driver counts errors; without counters Poll and Take find
  // nothing and need not be asked.
  bool Supported() const { return supported_.load(std::memory_order_relaxed); }

 private:
  std::uint32_t PollLocked(int fd);

  std::mutex mutex_;
  std::atomic<bool> supported_{false};
  serial_icounter_struct last_{};
  std::uint32_t pending_ = 0;
};

}  // namespace qor::device
