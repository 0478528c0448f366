#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

#include "comm/device/line_settings.hpp"
#include "comm/device/posix_dispatcher.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

namespace {

// Input goes to the dispatch thread in pieces of at most kPieceSize bytes;
// one read takes up to 4 KiB, so a fast line costs a system call per
// several pieces rather than one per piece.
constexpr std::uint32_t kPieceSize = 256;
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;
constexpr int kLargestReadMinimum = 255;  // what VMIN holds

}  // namespace

bool TQorPosixDispatcher::ReadAvailable(int fd, short revents, TReadStaging& staging) {
  // Under a read minimum above 64 the tty hands out at most 64 bytes per
  // read, however many wait: then only "nothing left" ends the reading.
  const bool short_reads = read_minimum_.load() > 1;
  for (;;) {
    const ssize_t n = read(fd, staging.bytes.data(), staging.bytes.size());
    if (n > 0) {
      for (std::size_t at = 0; at < static_cast<std::size_t>(n); at += kPieceSize) {
        const std::size_t k = std::min<std::size_t>(kPieceSize, static_cast<std::size_t>(n) - at);
        std::unique_ptr<TDataBuffer> piece = input_queue_.NewDataBuffer(kPieceSize);
        std::memcpy(piece->Data.data(), staging.bytes.data() + at, k);
        piece->Used = static_cast<std::uint32_t>(k);
        staging.pieces.push_back(std::move(piece));
      }
      // All pieces of one read as one step.
      input_queue_.PushAll(staging.pieces);
      // A short read took all there was: poll again rather than ask once
      // more only to hear that nothing is left.
      if (static_cast<std::size_t>(n) < staging.bytes.size() && !short_reads) break;
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
  if (const std::uint32_t bits = line_errors_.Poll(fd)) {
    input_queue_.Push(std::make_unique<TStatusBuffer>(((bits & 0x0F) != 0 ? kEvErr : 0u) |
                                                      ((bits & 0x10) != 0 ? kEvBreak : 0u)));
  }
  return true;
}

void TQorPosixDispatcher::AdjustReadMinimum(int fd) {
  const int wanted = std::min(kLargestReadMinimum, InputBeforeAnyTrigger());
  if (wanted == read_minimum_.load()) return;
  platform::Locker lock(device_lock_);
  if (device::SetReadMinimum(fd, static_cast<std::uint8_t>(wanted))) read_minimum_.store(wanted);
}

void TQorPosixDispatcher::WaitForInput(std::uint32_t ms) {
  if (!dispatch_reads_.load()) {
    dispatch_idle_.store(true);
    input_queue_.WaitForItem(ms);
    dispatch_idle_.store(false);
    busy_since_.store(platform::TimeGetTime());
    return;
  }
  std::lock_guard lock(read_mutex_);
  const int fd = fd_.load();
  if (fd < 0 || kill_requested_ || !input_queue_.ArmPushHook()) return;
  if (!dispatch_waits_.Watching()) {
    const int fds[3] = {fd, stop_.Fd(), dispatch_wake_.Fd()};
    dispatch_waits_.Watch(fds, 3);
  }
  AdjustReadMinimum(fd);
  const bool holding = read_minimum_.load() > 1;
  if (holding) ms = std::min(ms, kHeldInputMs);
  std::array<short, device::TInputWaitSet::kMaxFds> events{};
  dispatch_idle_.store(true);
  const int ready = dispatch_waits_.Wait(static_cast<int>(ms), events);
  dispatch_idle_.store(false);
  busy_since_.store(platform::TimeGetTime());
  input_queue_.DisarmPushHook();
  if (ready < 0) return;  // a signal: the loop comes back
  if (events[2] != 0) dispatch_wake_.Clear();
  // At the time-out, bytes held below the read minimum are taken all the same.
  const bool read_now = events[0] != 0 || (ready == 0 && holding);
  if (!read_now || kill_requested_) return;
  if (!ReadAvailable(fd, events[0], dispatch_staging_)) {
    // Gone or failing: the read thread meets it again and reports it as it
    // always has.
    dispatch_reads_.store(false);
    read_resume_.Raise();
  }
}

}  // namespace qor
