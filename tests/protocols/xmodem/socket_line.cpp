#include "tests/protocols/xmodem/socket_line.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace qor::testing {

namespace {

// Writes all of bytes, waiting (at most a few seconds) while the other end is full.
void WriteAll(int fd, const char* bytes, std::size_t count) {
  for (int spins = 0; count > 0 && spins < 5000;) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n > 0) {
      bytes += n;
      count -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;  // nobody reads: drop
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 1);
    ++spins;
  }
}

}  // namespace

SocketLine::SocketLine() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, peer_) != 0 ||
      ::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "socketpair");
  }
  // The peer's end must survive into the program it runs.
  ::fcntl(peer_[1], F_SETFD, 0);
  ::fcntl(peer_[0], F_SETFL, O_NONBLOCK);
  thread_ = std::thread([this] { Run(); });
}

SocketLine::~SocketLine() {
  const char c = 0;
  static_cast<void>(::write(stop_[1], &c, 1));
  thread_.join();
  for (int fd : {peer_[0], peer_[1], stop_[0], stop_[1]}) ::close(fd);
}

void SocketLine::DropFromUs(std::int64_t offset, std::int64_t count) {
  drop_count_ = count;
  drop_from_ = offset;
}

std::string SocketLine::FromUs() const {
  std::lock_guard<std::mutex> lock(lock_);
  return from_us_;
}

std::string SocketLine::FromPeer() const {
  std::lock_guard<std::mutex> lock(lock_);
  return from_peer_;
}

void SocketLine::Run() {
  char buf[4096];
  for (;;) {
    pollfd fds[3] = {{stop_[0], POLLIN, 0}, {ours_.Peer(), POLLIN, 0}, {peer_[0], POLLIN, 0}};
    ::poll(fds, 3, 50);
    if ((fds[0].revents & POLLIN) != 0) return;
    if ((fds[1].revents & POLLIN) != 0) {
      const ssize_t n = ::read(ours_.Peer(), buf, sizeof buf);
      if (n > 0) {
        std::string chunk(buf, static_cast<std::size_t>(n));
        std::int64_t start = 0;
        {
          std::lock_guard<std::mutex> lock(lock_);
          start = static_cast<std::int64_t>(from_us_.size());
          from_us_ += chunk;
        }
        // Cut out the part of [drop_from, drop_from + drop_count) in this chunk.
        const std::int64_t from = drop_from_;
        if (from >= 0) {
          const std::int64_t lo = std::clamp<std::int64_t>(from - start, 0, n);
          const std::int64_t hi = std::clamp<std::int64_t>(from + drop_count_ - start, 0, n);
          chunk.erase(static_cast<std::size_t>(lo), static_cast<std::size_t>(hi - lo));
        }
        WriteAll(peer_[0], chunk.data(), chunk.size());
      } else if (n < 0 && errno == EIO) {
        ::poll(nullptr, 0, 1);  // our port is not open (yet, or any more)
      }
    }
    if ((fds[2].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t n = ::read(peer_[0], buf, sizeof buf);
      if (n > 0) {
        {
          std::lock_guard<std::mutex> lock(lock_);
          from_peer_.append(buf, static_cast<std::size_t>(n));
        }
        WriteAll(ours_.Peer(), buf, static_cast<std::size_t>(n));
      }
    }
  }
}

}  // namespace qor::testing
