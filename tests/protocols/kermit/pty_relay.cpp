#include "tests/protocols/kermit/pty_relay.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace qor::testing {

namespace {

using Clock = std::chrono::steady_clock;

// One direction: what was read and not yet written, and the pacing budget.
struct Lane {
  int from;
  int to;
  std::string pending;
  double budget = 0;  // bytes that may go out now
  bool closed = false;
};

}  // namespace

PtyRelay::PtyRelay(std::int64_t bytes_per_second) : rate_(bytes_per_second) {
  if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  thread_ = std::thread([this] { Run(); });
}

PtyRelay::~PtyRelay() {
  const char c = 0;
  static_cast<void>(::write(stop_[1], &c, 1));
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

void PtyRelay::Cut() { cut_ = true; }

bool PtyRelay::PeerOpened() const {
  pollfd p{theirs_.Peer(), 0, 0};
  ::poll(&p, 1, 0);
  return (p.revents & POLLHUP) == 0;
}

std::string PtyRelay::OurWire() const {
  std::lock_guard<std::mutex> lock(wire_lock_);
  return wire_;
}

void PtyRelay::Run() {
  // A UART holds a few bytes; the relay keeps about as many in flight.
  constexpr std::size_t kChunk = 16;
  Lane lanes[2] = {{ours_.Peer(), theirs_.Peer(), {}}, {theirs_.Peer(), ours_.Peer(), {}}};
  auto last = Clock::now();
  for (;;) {
    pollfd fds[5] = {{stop_[0], POLLIN, 0}};
    int n = 1;
    int index[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
      Lane& l = lanes[i];
      if (l.closed) continue;
      index[i] = n;
      fds[n++] = {l.pending.empty() ? l.from : l.to, static_cast<short>(l.pending.empty() ? POLLIN : POLLOUT), 0};
    }
    const bool paced_wait = rate_ > 0 && (!lanes[0].pending.empty() || !lanes[1].pending.empty());
    ::poll(fds, static_cast<nfds_t>(n), paced_wait ? 1 : 50);
    if ((fds[0].revents & POLLIN) != 0) return;
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    for (int i = 0; i < 2; ++i) {
      Lane& l = lanes[i];
      if (index[i] < 0) continue;
      if (rate_ > 0) {
        l.budget = std::min(l.budget + seconds * static_cast<double>(rate_), double{kChunk});
      }
      if (l.pending.empty()) {
        char buf[4096];
        const ssize_t k = ::read(l.from, buf, rate_ > 0 ? kChunk : sizeof buf);
        if (k > 0 && !cut_) {
          l.pending.assign(buf, static_cast<std::size_t>(k));
          if (i == 0) {
            sent_by_us_ += k;
            std::lock_guard<std::mutex> lock(wire_lock_);
            wire_.append(buf, static_cast<std::size_t>(k));
          }
        } else if (k < 0 && errno == EIO) {
          // Nobody has this line open (yet, or any more).
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
      if (!l.pending.empty()) {
        std::size_t allowed = l.pending.size();
        if (rate_ > 0) allowed = std::min(allowed, static_cast<std::size_t>(l.budget));
        if (allowed == 0) continue;
        const ssize_t w = ::write(l.to, l.pending.data(), allowed);
        if (w > 0) {
          l.pending.erase(0, static_cast<std::size_t>(w));
          if (rate_ > 0) l.budget -= static_cast<double>(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
          l.pending.clear();  // the far side is gone: drop
        }
      }
    }
  }
}

}  // namespace qor::testing
