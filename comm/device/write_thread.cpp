#include <cerrno>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "comm/device/io_threads.hpp"
#include "comm/device/rs485.hpp"

namespace qor {

namespace {

constexpr std::int32_t kWriteError = -160;
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;
// While RS-485 output drains: how often to ask whether the line is empty.
constexpr int kDrainPollMs = 1;

}  // namespace

std::int32_t TWriteThread::Run() {
  block_.reserve(static_cast<std::size_t>(device_.out_size_));
  pollfd fds[2] = {{device_.write_wake_.Fd(), POLLIN, 0}, {device_.stop_.Fd(), POLLIN, 0}};
  while (!KillRequested()) {
    if (!Poll(fds, 2, -1)) return device_.ThreadFailed(kWriteError);
    // Cleared before the ring is looked at, so output queued from now on
    // raises it again.
    device_.write_wake_.Clear();
    if (KillRequested()) break;
    TakeFlush();
    if (!WritePending()) return device_.ThreadFailed(kWriteError);
  }
  return 0;
}

bool TWriteThread::TakeFlush() {
  if (!device_.flush_requested_.exchange(false)) return false;
  // The block in hand, if any, is dropped: it no longer counts as output by
  // the time the flush is acknowledged.
  device_.write_in_flight_ = 0;
  device_.ack_event_.Set();
  return true;
}

bool TWriteThread::WritePending() {
  while (!KillRequested()) {
    {
      platform::Locker lock(device_.send_lock_);
      const std::int32_t n = device_.SendRingPending();
      if (n == 0) return true;
      block_.resize(static_cast<std::size_t>(n));
      device_.TakeSendRing(block_.data(), n);
      device_.write_in_flight_ = n;
    }
    // The ring has room again: a trigger waiting for it must not wait for
    // input or the dispatch thread's next periodic check.
    if (device_.OutputTriggerArmed()) PushStatus(kEvTxEmpty);
    const bool toggle = device_.rts_toggle_;
    if (toggle) device::SetModemLines(fd_, TIOCM_RTS, true);
    const Outcome outcome = WriteBlock(block_.data(), block_.size());
    if (toggle) {
      if (outcome == Outcome::Done) AwaitTransmitterEmpty();
      device::SetModemLines(fd_, TIOCM_RTS, false);
    }
    device_.write_in_flight_ = 0;
    if (outcome == Outcome::Failed) return false;
    // And once the block is written the output may be empty: the same wake
    // for a trigger that waits for that.
    if (outcome == Outcome::Done && device_.OutputTriggerArmed()) {
      platform::Locker lock(device_.send_lock_);
      if (device_.SendRingPending() == 0) PushStatus(kEvTxEmpty);
    }
    // Done or dropped: whatever was queued meanwhile goes out next.
  }
  return true;
}

TWriteThread::Outcome TWriteThread::WriteBlock(const std::uint8_t* bytes, std::size_t count) {
  pollfd fds[3] = {{fd_, POLLOUT, 0}, {device_.write_wake_.Fd(), POLLIN, 0},
                   {device_.stop_.Fd(), POLLIN, 0}};
  std::size_t done = 0;
  while (done < count) {
    if (KillRequested() || TakeFlush()) return Outcome::Dropped;
    const ssize_t n = write(fd_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      device_.write_in_flight_ -= static_cast<std::int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && (fds[0].revents & kGone) == 0) {
      // The driver is full: wait for room, a flush or the stop.
      if (!Poll(fds, 3, -1)) return Outcome::Failed;
      if (fds[1].revents != 0) device_.write_wake_.Clear();
      continue;
    }
    // EIO, ENXIO, EBADF, or no room on a line that has gone.
    return Outcome::Failed;
  }
  return Outcome::Done;
}

void TWriteThread::AwaitTransmitterEmpty() {
  // Not tcdrain(): it cannot be woken, and stopped flow control would hold a
  // closing port forever.
  pollfd fds[2] = {{device_.write_wake_.Fd(), POLLIN, 0}, {device_.stop_.Fd(), POLLIN, 0}};
  while (!device::TransmitterEmpty(fd_)) {
    if (!Poll(fds, 2, kDrainPollMs) || KillRequested()) return;
    if (fds[0].revents != 0) {
      device_.write_wake_.Clear();
      if (TakeFlush()) return;
    }
  }
}

}  // namespace qor
