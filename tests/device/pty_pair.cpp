#include "tests/device/pty_pair.hpp"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qor::testing {

namespace {

void MakeRaw(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

PtyPair::PtyPair() {
  int line = -1;
  char name[256] = {};
  if (openpty(&peer_, &line, name, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  MakeRaw(peer_);
  MakeRaw(line);
  close(line);  // the dispatcher opens the line by its path
  fcntl(peer_, F_SETFL, fcntl(peer_, F_GETFL) | O_NONBLOCK);
  path_ = name;
}

PtyPair::~PtyPair() { ClosePeer(); }

void PtyPair::ClosePeer() {
  if (peer_ >= 0) close(peer_);
  peer_ = -1;
}

void PtyPair::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(peer_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{peer_, POLLOUT, 0};
      poll(&p, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "write to the peer");
    }
  }
}

std::string PtyPair::Read(std::size_t n, int ms) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  char chunk[4096];
  while (got.size() < n && std::chrono::steady_clock::now() < end) {
    pollfd p{peer_, POLLIN, 0};
    poll(&p, 1, 10);
    const ssize_t k = read(peer_, chunk, std::min(sizeof chunk, n - got.size()));
    if (k > 0) got.append(chunk, static_cast<std::size_t>(k));
  }
  return got;
}

std::string PtyPair::ReadUntil(std::string_view marker, int ms) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  char chunk[4096];
  while (!got.ends_with(marker) && std::chrono::steady_clock::now() < end) {
    pollfd p{peer_, POLLIN, 0};
    poll(&p, 1, 10);
    const ssize_t k = read(peer_, chunk, sizeof chunk);
    if (k > 0) got.append(chunk, static_cast<std::size_t>(k));
  }
  return got;
}

int PtyPair::Pending() const {
  int n = 0;
  ioctl(peer_, FIONREAD, &n);
  return n;
}

}  // namespace qor::testing
