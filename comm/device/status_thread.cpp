#include <poll.h>

#include "comm/device/io_threads.hpp"

namespace qor {

namespace {

constexpr std::int32_t kStatusError = -161;
// Drivers without TIOCMIWAIT: how often the modem lines are read.
constexpr int kModemPollMs = 10;

}  // namespace

std::int32_t TStatusThread::Run() {
  auto lines = device::ReadModemLines(fd_);
  if (!lines) return WaitForStop();
  bool modem_wait = true;
  pollfd stop{device_.stop_.Fd(), POLLIN, 0};
  while (!KillRequested()) {
    if (modem_wait) {
      switch (device_.modem_wait_.Wait(fd_)) {
        case device::TModemLineWait::Result::Changed:
        case device::TModemLineWait::Result::Interrupted:
          break;
        case device::TModemLineWait::Result::Unsupported:
          modem_wait = false;
          continue;
        case device::TModemLineWait::Result::Failed:
          return device_.ThreadFailed(kStatusError);
      }
    } else if (!Poll(&stop, 1, kModemPollMs)) {
      return device_.ThreadFailed(kStatusError);
    }
    if (KillRequested()) break;
    const auto now = device::ReadModemLines(fd_);
    if (!now) return device_.ThreadFailed(kStatusError);  // the device is gone
    if (const std::uint32_t events = device::ModemChangeEvents(*lines, *now)) PushStatus(events);
    lines = now;
  }
  return 0;
}

std::int32_t TStatusThread::WaitForStop() {
  pollfd stop{device_.stop_.Fd(), POLLIN, 0};
  while (!KillRequested()) {
    if (!Poll(&stop, 1, -1)) return device_.ThreadFailed(kStatusError);
  }
  return 0;
}

}  // namespace qor
