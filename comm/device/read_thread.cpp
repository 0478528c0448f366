#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

#include "comm/device/io_threads.hpp"

namespace qor {

namespace {

// Input goes to the dispatch thread in pieces of at most kPieceSize bytes;
// one read takes up to 4 KiB, so a fast line costs a system call per
// several pieces rather than one per piece (staging_ holds one read).
constexpr std::uint32_t kPieceSize = 256;
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
    const ssize_t n = read(fd_, staging_.data(), staging_.size());
    if (n > 0) {
      for (std::size_t at = 0; at < static_cast<std::size_t>(n); at += kPieceSize) {
        const std::size_t k = std::min<std::size_t>(kPieceSize, static_cast<std::size_t>(n) - at);
        std::unique_ptr<TDataBuffer> piece = device_.input_queue_.NewDataBuffer(kPieceSize);
        std::memcpy(piece->Data.data(), staging_.data() + at, k);
        piece->Used = static_cast<std::uint32_t>(k);
        pieces_.push_back(std::move(piece));
      }
      // All pieces of one read with one wake-up of the dispatch thread.
      device_.input_queue_.PushAll(pieces_);
      // A short read took all there was: poll again rather than ask once
      // more only to hear that nothing is left.
      if (static_cast<std::size_t>(n) < staging_.size()) break;
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
