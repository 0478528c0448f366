#include "tests/protocols/kermit/line_receiver.hpp"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace qor::testing {

LineReceiver::LineReceiver(int fd, Answer answer) : fd_(fd), answer_(std::move(answer)) {
  if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2");
  thread_ = std::thread([this] { Run(); });
}

LineReceiver::~LineReceiver() {
  const char c = 0;
  static_cast<void>(::write(stop_[1], &c, 1));
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

std::vector<WirePacket> LineReceiver::Packets() const {
  std::lock_guard<std::mutex> lock(lock_);
  return packets_;
}

void LineReceiver::Run() {
  FrameReader reader;
  for (;;) {
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
    ::poll(fds, 2, 100);
    if ((fds[0].revents & POLLIN) != 0) return;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) {
      if ((fds[1].revents & POLLHUP) != 0) ::usleep(1000);
      continue;
    }
    reader.Add(buf, static_cast<std::size_t>(n));
    WirePacket p;
    while (reader.Next(p)) {
      {
        std::lock_guard<std::mutex> lock(lock_);
        packets_.push_back(p);
      }
      std::string reply = answer_(p);
      while (!reply.empty()) {
        const ssize_t w = ::write(fd_, reply.data(), reply.size());
        if (w > 0) {
          reply.erase(0, static_cast<std::size_t>(w));
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
          break;
        } else {
          ::usleep(1000);
        }
      }
    }
  }
}

std::string BootLoader::operator()(const WirePacket& p) {
  const std::string inner = p.frame.substr(1, p.frame.size() - 2);
  for (const char c : inner) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127) {
      violations.push_back("raw control byte in a " + std::string(1, p.type) + " packet");
      return Packet1('N', expected_, "");
    }
  }
  if (p.extended) {
    violations.push_back("extended header");
    return Packet1('N', expected_, "");
  }
  if (Packet1(p.type, p.seq, FieldOf(p, 1)) != p.frame) {
    violations.push_back("not a type 1 check, or a bad one");
    return Packet1('N', expected_, "");
  }
  const std::string field = FieldOf(p, 1);
  switch (p.type) {
    case 'S':
      expected_ = 1;
      // Up to 94, 5 s, no padding, CR, "#", no 8-bit prefixing, check 1, no repeat.
      return Packet1('Y', 0, "~% @-#N1 ");
    case 'F':
      if (p.seq == expected_) {
        name = field;
        expected_ = (expected_ + 1) & 63;
      }
      return Packet1('Y', p.seq, "");
    case 'D':
      if (p.seq == expected_) {
        for (std::size_t i = 0; i < field.size(); ++i) {
          auto c = static_cast<unsigned char>(field[i]);
          if (c == '#' && i + 1 < field.size()) {
            c = static_cast<unsigned char>(field[++i]);
            const unsigned low = c & 0x7F;
            if ((low >= 0x40 && low <= 0x5F) || low == 0x3F) c ^= 64;
          }
          data += static_cast<char>(c);
        }
        expected_ = (expected_ + 1) & 63;
      }
      return Packet1('Y', p.seq, "");
    case 'Z':
      expected_ = (p.seq + 1) & 63;
      return Packet1('Y', p.seq, "");
    case 'B':
      done = true;
      return Packet1('Y', p.seq, "");
    default:
      violations.push_back("unexpected packet type " + std::string(1, p.type));
      return Packet1('E', p.seq, "unexpected");
  }
}

}  // namespace qor::testing
