#include "tools/linesim/line_simulator.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace qor::tools {

namespace {

constexpr int kIdlePollMs = 200;
// A paced line takes a little at a time, so that bytes arrive spread out as
// from a UART rather than in one late lump.
constexpr std::size_t kPacedRead = 64;
constexpr std::size_t kFastRead = 4096;
// Input is left in the sender's pty while this much is still on its way: on
// a paced line about what a UART and its driver hold, so that a sender's
// output waits as it does on a real port.
constexpr std::size_t kMaxQueuedPaced = 4096;
constexpr std::size_t kMaxQueuedFast = 65536;

void OpenRawPty(int& master, int& slave, std::string& path) {
  char name[128];
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  for (int fd : {master, slave}) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

LineSimulator::LineSimulator(const LineOptions& options)
    : options_(options) {
  OpenRawPty(a_.master, a_.slave, a_.path);
  OpenRawPty(b_.master, b_.slave, b_.path);
  a_to_b_.from = b_to_a_.to = a_.master;
  b_to_a_.from = a_to_b_.to = b_.master;
  a_to_b_.random = options.seed * 2ULL + 1;
  b_to_a_.random = options.seed * 2ULL + 2;
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  start_ = Clock::now();
  relay_ = std::make_unique<platform::Thread>([this] { return Relay(); });
}

LineSimulator::~LineSimulator() {
  Stop();
  for (int* fd : {&a_.master, &a_.slave, &b_.master, &b_.slave, &stop_fd_}) CloseFd(*fd);
}

void LineSimulator::Stop() {
  if (!relay_) return;
  const std::uint64_t one = 1;
  if (::write(stop_fd_, &one, sizeof one) < 0) {
    // The relay wakes at least every kIdlePollMs; it will see the event then.
  }
  relay_.reset();  // joins
}

double LineSimulator::Random(Direction& d) {
  d.random ^= d.random >> 12;
  d.random ^= d.random << 25;
  d.random ^= d.random >> 27;
  return static_cast<double>((d.random * 2685821657736338717ULL) >> 11) / 9007199254740992.0;
}

void LineSimulator::HangUp() {
  gone_ = true;
  for (int* fd : {&a_.master, &a_.slave, &b_.master, &b_.slave}) CloseFd(*fd);
}

// Reads what the sender has written, lets the line's faults act on it and
// queues it for the time the paced, late line delivers it; false when the
// pty has failed.
bool LineSimulator::Take(Direction& d, Clock::time_point now, bool silent) {
  char buffer[kFastRead];
  const std::size_t want = options_.baud > 0 ? kPacedRead : kFastRead;
  const ssize_t n = ::read(d.from, buffer, want);
  if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO;
  d.counters.bytes += n;
  if (silent) return true;
  std::string out;
  out.reserve(static_cast<std::size_t>(n));
  for (ssize_t i = 0; i < n; ++i) {
    char c = buffer[i];
    if (options_.drop_rate > 0 && Random(d) < options_.drop_rate) {
      ++d.counters.dropped;
      continue;
    }
    if (options_.flip_rate > 0 && Random(d) < options_.flip_rate) {
      c = static_cast<char>(c ^ (1 << static_cast<int>(Random(d) * 8)));
      ++d.counters.flipped;
    }
    out.push_back(c);
    if (options_.garbage_rate > 0 && Random(d) < options_.garbage_rate) {
      for (int k = 0; k < options_.garbage_length; ++k) {
        out.push_back(static_cast<char>(Random(d) * 256));
      }
      d.counters.garbage += options_.garbage_length;
    }
  }
  if (out.empty()) return true;
  auto due = now;
  if (options_.baud > 0) {
    const auto on_line = std::chrono::duration<double>(static_cast<double>(out.size()) * 10.0 /
                                                       static_cast<double>(options_.baud));
    d.line_free = std::max(d.line_free, now) +
                  std::chrono::duration_cast<Clock::duration>(on_line);
    due = d.line_free;
  }
  due += std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(options_.latency_ms));
  d.queue.push_back({due, std::move(out)});
  return true;
}

// Writes out what is due; false when the receiving pty has failed.
bool LineSimulator::Deliver(Direction& d, Clock::time_point now) {
  while (!d.queue.empty() && d.queue.front().due <= now) {
    std::string& bytes = d.queue.front().bytes;
    const ssize_t w = ::write(d.to, bytes.data(), bytes.size());
    if (w < 0) return errno == EAGAIN || errno == EINTR;
    bytes.erase(0, static_cast<std::size_t>(w));
    if (!bytes.empty()) return true;  // the reader is behind: wait for room
    d.queue.pop_front();
  }
  return true;
}

int LineSimulator::Relay() {
  using std::chrono::milliseconds;
  const auto after = [this](double ms) {
    return start_ + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double, std::milli>(ms));
  };
  const bool vanishes = options_.vanish_after_ms > 0;
  const auto vanish_at = after(options_.vanish_after_ms);
  const auto silent_at = after(options_.silent_after_ms);
  Direction* directions[2] = {&a_to_b_, &b_to_a_};
  for (;;) {
    auto now = Clock::now();
    if (vanishes && now >= vanish_at) {
      HangUp();
      return 0;
    }
    for (Direction* d : directions) {
      if (!Deliver(*d, now)) {
        HangUp();
        return -1;
      }
    }
    // Sleep until the next byte is due, the line vanishes, or something arrives.
    auto wake = now + milliseconds(kIdlePollMs);
    if (vanishes) wake = std::min(wake, vanish_at);
    pollfd fds[5];
    nfds_t count = 0;
    fds[count++] = {stop_fd_, POLLIN, 0};
    for (Direction* d : directions) {
      std::size_t queued = 0;
      for (const Chunk& c : d->queue) queued += c.bytes.size();
      if (queued < (options_.baud > 0 ? kMaxQueuedPaced : kMaxQueuedFast)) {
        fds[count++] = {d->from, POLLIN, 0};
      }
      if (d->queue.empty()) continue;
      if (d->queue.front().due <= now) {
        fds[count++] = {d->to, POLLOUT, 0};
      } else {
        wake = std::min(wake, d->queue.front().due);
      }
    }
    const auto wait = std::chrono::ceil<milliseconds>(wake - now).count();
    if (::poll(fds, count, static_cast<int>(std::max<long long>(wait, 0))) < 0 && errno != EINTR) {
      HangUp();
      return -1;
    }
    if ((fds[0].revents & POLLIN) != 0) return 0;
    now = Clock::now();
    const bool silent = options_.silent_after_ms > 0 && now >= silent_at;
    for (nfds_t i = 1; i < count; ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      Direction& d = fds[i].fd == a_.master ? a_to_b_ : b_to_a_;
      if (!Take(d, now, silent)) {
        HangUp();
        return -1;
      }
    }
    // A hung-up end (no program has it open) reports POLLHUP: wait, do not spin.
    for (nfds_t i = 1; i < count; ++i) {
      if ((fds[i].revents & POLLHUP) != 0) {
        ::usleep(5000);
        break;
      }
    }
  }
}

}  // namespace qor::tools
