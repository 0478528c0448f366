#include "tools/qorxfer/interrupt_watch.hpp"

#include <csignal>

#include <sys/signalfd.h>
#include <unistd.h>

namespace qor::xfer {

namespace {

sigset_t Interrupts() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const sigset_t set = Interrupts();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  blocked_ = true;
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    blocked_ = false;
  }
}

InterruptWatch::~InterruptWatch() {
  if (fd_ >= 0) {
    Take();
    close(fd_);
  }
  if (blocked_) {
    const sigset_t set = Interrupts();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
}

bool InterruptWatch::Take() {
  bool any = false;
  signalfd_siginfo info{};
  while (fd_ >= 0 && read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) any = true;
  return any;
}

}  // namespace qor::xfer
