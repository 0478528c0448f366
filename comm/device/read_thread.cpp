#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "comm/device/io_threads.hpp"

namespace qor {

namespace {

constexpr std::uint32_t kReadSize = 256;
constexpr std::int32_t kReadError = -161;
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

std::int32_t TReadThread::Run() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {device_.stop_.Fd(), POLLIN, 0}};
  while (!KillRequested()) {
    if (!Poll(fds, 2, -1)) return device_.ThreadFailed(kReadError);
    if (KillRequested()) break;
    if (fds[0].revents != 0 && !ReadAll(fds[0].revents)) {
      return device_.ThreadFailed(kReadError);
    }
  }
  return 0;
}

bool TReadThread::ReadAll(short revents) {
  for (;;) {
    if (!buffer_) buffer_ = std::make_unique<TDataBuffer>(kReadSize);
    const ssize_t n = read(fd_, buffer_->Data.data(), kReadSize);
    if (n > 0) {
      buffer_->Used = static_cast<std::uint32_t>(n);
      device_.input_queue_.Push(std::move(buffer_));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Nothing more for now, unless poll said the device is gone: then waiting
    // again would spin.
    if (n < 0 && errno == EAGAIN && (revents & kGone) == 0) break;
    // 0 bytes: the other end hung up; EIO, ENXIO, EBADF: the device is gone.
    return false;
  }
  // Errors come with the bytes they spoiled, so their event goes in right
  // after them, in order with the data.
  if (const std::uint32_t bits = device_.line_errors_.Poll(fd_)) {
    PushStatus(((bits & 0x0F) != 0 ? kEvErr : 0u) | ((bits & 0x10) != 0 ? kEvBreak : 0u));
  }
  return true;
}

}  // namespace qor
