#include "tools/receiver_sim/null_modem.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qor::tools {

namespace {

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
  }
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
}

}  // namespace

// Moves what one master has to the other, flipping bits as the noise says;
// false when the line is gone.
bool NullModem::Forward(int from, int to) {
  char buffer[4096];
  const ssize_t n = ::read(from, buffer, sizeof buffer);
  if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO;
  for (ssize_t i = 0; noise_ > 0 && i < n; ++i) {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    if (static_cast<double>(random_) / 4294967296.0 < noise_) {
      buffer[i] = static_cast<char>(buffer[i] ^ (1 << (random_ % 8)));
    }
  }
  for (ssize_t done = 0; done < n;) {
    const ssize_t w = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
    if (w < 0) {
      if (errno != EAGAIN && errno != EINTR) return false;
      pollfd p{to, POLLOUT, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    done += w;
  }
  return true;
}

NullModem::NullModem(double noise, std::uint32_t seed)
    : noise_(noise), random_(seed == 0 ? 1 : seed) {
  OpenRawPty(master_a_, slave_a_, path_a_);
  OpenRawPty(master_b_, slave_b_, path_b_);
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  relay_ = std::make_unique<platform::Thread>([this] { return Relay(); });
}

NullModem::~NullModem() {
  const std::uint64_t one = 1;
  if (::write(stop_fd_, &one, sizeof one) < 0) {
    // The relay polls with a time limit and sees the flag below too.
  }
  relay_.reset();  // joins
  for (int fd : {master_a_, master_b_, slave_a_, slave_b_, stop_fd_}) ::close(fd);
}

int NullModem::Relay() {
  for (;;) {
    pollfd fds[3] = {{master_a_, POLLIN, 0}, {master_b_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 3, 200) < 0 && errno != EINTR) return -1;
    if ((fds[2].revents & POLLIN) != 0) return 0;
    if ((fds[0].revents & POLLIN) != 0 && !Forward(master_a_, master_b_)) return -1;
    if ((fds[1].revents & POLLIN) != 0 && !Forward(master_b_, master_a_)) return -1;
    // A hung-up end (nobody has it open) reports POLLHUP: wait instead of spinning.
    if (((fds[0].revents | fds[1].revents) & POLLHUP) != 0) ::usleep(5000);
  }
}

}  // namespace qor::tools
