#include "comm/device/input_wait_set.hpp"

#include <algorithm>

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace qor::device {

void TInputWaitSet::Watch(const int* fds, std::size_t count) {
  Forget();
  count_ = std::min(count, kMaxFds);
  std::copy(fds, fds + count_, fds_.begin());
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  for (std::size_t i = 0; epoll_ >= 0 && i < count_; ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = static_cast<std::uint32_t>(i);
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fds_[i], &ev) != 0) {
      close(epoll_);
      epoll_ = -1;
    }
  }
}

void TInputWaitSet::Forget() {
  if (epoll_ >= 0) close(epoll_);
  epoll_ = -1;
  count_ = 0;
}

int TInputWaitSet::Wait(int ms, std::array<short, kMaxFds>& events) {
  events.fill(0);
  if (epoll_ < 0) {
    std::array<pollfd, kMaxFds> p{};
    for (std::size_t i = 0; i < count_; ++i) p[i] = {fds_[i], POLLIN, 0};
    const int ready = poll(p.data(), static_cast<nfds_t>(count_), ms);
    for (std::size_t i = 0; ready > 0 && i < count_; ++i) events[i] = p[i].revents;
    return ready;
  }
  std::array<epoll_event, kMaxFds> got{};
  const int ready = epoll_wait(epoll_, got.data(), static_cast<int>(count_), ms);
  for (int k = 0; k < ready; ++k) {
    const std::uint32_t i = got[static_cast<std::size_t>(k)].data.u32;
    // The input, hang-up and error bits are poll()'s own.
    if (i < count_) events[i] = static_cast<short>(got[static_cast<std::size_t>(k)].events);
  }
  return ready;
}

}  // namespace qor::device
