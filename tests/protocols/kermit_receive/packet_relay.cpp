#include "tests/protocols/kermit_receive/packet_relay.hpp"

#include <cerrno>
#include <chrono>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace qor::testing {

struct PacketRelay::Lane {
  int from;
  int to;
  Filter* filter;
  std::string* wire;
  FrameReader frames;
};

PacketRelay::PacketRelay(Filter a_to_b, Filter b_to_a)
    : a_to_b_(std::move(a_to_b)), b_to_a_(std::move(b_to_a)) {
  if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  thread_ = std::thread([this] { Run(); });
}

PacketRelay::~PacketRelay() {
  stopping_ = true;
  const char c = 0;
  static_cast<void>(::write(stop_[1], &c, 1));
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

bool PacketRelay::OpenedB() const {
  pollfd p{b_.Peer(), 0, 0};
  ::poll(&p, 1, 0);
  return (p.revents & POLLHUP) == 0;
}

std::string PacketRelay::SentFromA() const {
  std::lock_guard<std::mutex> lock(wire_lock_);
  return from_a_;
}

std::string PacketRelay::SentFromB() const {
  std::lock_guard<std::mutex> lock(wire_lock_);
  return from_b_;
}

bool PacketRelay::WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return true;  // the far end is gone: the bytes are lost, as on a cable
    } else if (stopping_) {
      return false;  // nobody reads the far end any more
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
  return true;
}

bool PacketRelay::Forward(Lane& lane) {
  char buffer[4096];
  const ssize_t n = ::read(lane.from, buffer, sizeof buffer);
  if (n <= 0) {
    // EIO: nobody has this line open (yet, or any more).
    if (n < 0 && errno == EIO) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }
  {
    std::lock_guard<std::mutex> lock(wire_lock_);
    lane.wire->append(buffer, static_cast<std::size_t>(n));
  }
  if (!*lane.filter) return WriteAll(lane.to, std::string(buffer, static_cast<std::size_t>(n)));
  lane.frames.Add(buffer, static_cast<std::size_t>(n));
  WirePacket packet;
  while (lane.frames.Next(packet)) {
    if ((*lane.filter)(packet) && !WriteAll(lane.to, packet.frame)) return false;
  }
  return true;
}

void PacketRelay::Run() {
  Lane lanes[2] = {{a_.Peer(), b_.Peer(), &a_to_b_, &from_a_, {}},
                   {b_.Peer(), a_.Peer(), &b_to_a_, &from_b_, {}}};
  for (;;) {
    pollfd fds[3] = {{stop_[0], POLLIN, 0}, {a_.Peer(), POLLIN, 0}, {b_.Peer(), POLLIN, 0}};
    ::poll(fds, 3, 50);
    if ((fds[0].revents & POLLIN) != 0) return;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !Forward(lanes[i])) return;
    }
  }
}

}  // namespace qor::testing
