#pragma once
#include <cstdint>
#include <mutex>
#include <optional>

#include <pthread.h>

namespace qor::device {

// The modem status as line-state bits: CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80.
// Nothing when the device has no modem lines (a pseudo-terminal) or is gone.
std::optional<std::uint8_t> ReadModemLines(int fd);

// Raises or drops output lines (TIOCM_DTR, TIOCM_RTS); false when the device
// has no modem lines.
bool SetModemLines(int fd, int lines, bool on);

// The comm events of a change of lines: CTS, DSR and DCD on either edge, ring
// on the trailing edge of RI (as the modem bits report it).
std::uint32_t ModemChangeEvents(std::uint8_t before, std::uint8_t now);

// Waits in TIOCMIWAIT for a change of CTS, DSR, RI or DCD. The ioctl cannot be
// woken by a descriptor, only by a signal: Interrupt sends one to the waiting
// thread. A signal that arrives just before the ioctl starts is lost, so a
// caller that needs the wait to end repeats Interrupt until it has.
class TModemLineWait {
 public:
  enum class Result { Changed, Interrupted, Unsupported, Failed };

  // By the waiting thread only.
  Result Wait(int fd);
  // From any thread.
  void Interrupt();

 private:
  std::mutex mutex_;
  bool waiting_ = false;  // waiter_ is a live thread inside Wait while set
  pthread_t waiter_{};
};

}  // namespace qor::device
