#include <poll.h>

#include "comm/device/io_threads.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

namespace {

constexpr std::int32_t kReadError = -161;

}  // namespace

std::int32_t TReadThread::Run() {
  while (!KillRequested()) {
    if (device_.dispatch_reads_.load()) {
      StandBy();
    } else if (!ReadWhileBusy()) {
      return device_.ThreadFailed(kReadError);
    }
  }
  return 0;
}

void TReadThread::StandBy() {
  pollfd fds[2] = {{device_.stop_.Fd(), POLLIN, 0}, {device_.read_resume_.Fd(), POLLIN, 0}};
  const std::uint32_t ms = device_.dispatch_idle_.load() ? device_.idle_standby_ms_.load()
                                                         : TQorPosixDispatcher::kTakeOverMs;
  // A failed poll here is found again, and reported, by the next read.
  const bool polled = Poll(fds, 2, static_cast<int>(ms));
  const bool resumed = polled && fds[1].revents != 0;
  if (resumed) device_.read_resume_.Clear();
  if (!polled || resumed || device_.ReadThreadTakesOver()) device_.dispatch_reads_.store(false);
}

bool TReadThread::ReadWhileBusy() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {device_.stop_.Fd(), POLLIN, 0}};
  if (!Poll(fds, 2, static_cast<int>(TQorPosixDispatcher::kTakeOverMs))) return false;
  if (KillRequested()) return true;
  const bool ready = fds[0].revents != 0;
  // Bytes held below the dispatch thread's read minimum are taken at the time-out.
  if (ready || device_.read_minimum_.load() > 1) {
    std::lock_guard lock(device_.read_mutex_);
    if (!device_.ReadAvailable(fd_, fds[0].revents, staging_)) return false;
    if (ready) return true;
  }
  // A quiet line: the dispatch thread reads again once it waits for work.
  if (device_.dispatch_idle_.load()) {
    device_.dispatch_reads_.store(true);
    device_.input_queue_.Wake();  // to wait on the device instead
  }
  return true;
}

bool TQorPosixDispatcher::ReadThreadTakesOver() const {
  return !dispatch_idle_.load() && platform::TimeGetTime() - busy_since_.load() >= kTakeOverMs;
}

}  // namespace qor
