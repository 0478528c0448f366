#include "comm/device/modem_lines.hpp"

#include <cerrno>
#include <csignal>

#include <sys/ioctl.h>

#include "comm/dispatcher/base_dispatcher.hpp"

namespace qor::device {

namespace {

// A real-time signal nothing else in the program uses. Its handler does
// nothing: the signal only makes a blocked TIOCMIWAIT return with EINTR.
int WakeSignal() { return SIGRTMIN + 6; }

void IgnoreWake(int) {}

// Installed once, unless someone else has claimed the signal; then modem
// changes are polled instead.
bool WakeSignalReady() {
  static const bool ready = [] {
    struct sigaction current {};
    if (sigaction(WakeSignal(), nullptr, &current) != 0) return false;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return false;
    struct sigaction action {};
    action.sa_handler = IgnoreWake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the ioctl has to return
    return sigaction(WakeSignal(), &action, nullptr) == 0;
  }();
  return ready;
}

}  // namespace

std::optional<std::uint8_t> ReadModemLines(int fd) {
  int status = 0;
  if (ioctl(fd, TIOCMGET, &status) != 0) return std::nullopt;
  std::uint8_t bits = 0;
  if ((status & TIOCM_CTS) != 0) bits |= 0x10;
  if ((status & TIOCM_DSR) != 0) bits |= 0x20;
  if ((status & TIOCM_RI) != 0) bits |= 0x40;
  if ((status & TIOCM_CD) != 0) bits |= 0x80;
  return bits;
}

bool SetModemLines(int fd, int lines, bool on) {
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

std::uint32_t ModemChangeEvents(std::uint8_t before, std::uint8_t now) {
  const std::uint8_t changed = before ^ now;
  std::uint32_t events = 0;
  if ((changed & 0x10) != 0) events |= kEvCts;
  if ((changed & 0x20) != 0) events |= kEvDsr;
  if ((changed & 0x80) != 0) events |= kEvRlsd;
  if ((changed & 0x40) != 0 && (now & 0x40) == 0) events |= kEvRing;
  return events;
}

TModemLineWait::Result TModemLineWait::Wait(int fd) {
  if (!WakeSignalReady()) return Result::Unsupported;
  // A thread may have been started with the signal blocked.
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, WakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
  {
    std::lock_guard lock(mutex_);
    waiter_ = pthread_self();
    waiting_ = true;
  }
  const int result = ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD);
  const int error = errno;
  {
    std::lock_guard lock(mutex_);
    waiting_ = false;
  }
  if (result == 0) return Result::Changed;
  if (error == EINTR) return Result::Interrupted;
  if (error == EINVAL || error == ENOTTY) return Result::Unsupported;
  return Result::Failed;
}

void TModemLineWait::Interrupt() {
  std::lock_guard lock(mutex_);
  if (waiting_) pthread_kill(waiter_, WakeSignal());
}

}  // namespace qor::device
