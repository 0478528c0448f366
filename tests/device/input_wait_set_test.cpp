// The set of descriptors the dispatch thread waits on for input.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include <poll.h>
#include <unistd.h>

#include "comm/device/input_wait_set.hpp"

namespace qor::testing {
namespace {

using device::TInputWaitSet;

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
  void CloseWriter() {
    close(fds[1]);
    fds[1] = -1;
  }
  int fds[2] = {-1, -1};
};

TEST(InputWaitSet, TellsWhichDescriptorIsReadyAndKeepsTellingUntilRead) {
  Pipe a, b;
  TInputWaitSet set;
  const int watched[2] = {a.fds[0], b.fds[0]};
  set.Watch(watched, 2);
  ASSERT_TRUE(set.Watching());
  std::array<short, TInputWaitSet::kMaxFds> events{};
  EXPECT_EQ(set.Wait(20, events), 0);

  ASSERT_EQ(write(b.fds[1], "x", 1), 1);
  for (int round = 0; round < 2; ++round) {  // still there: not read yet
    ASSERT_EQ(set.Wait(1000, events), 1);
    EXPECT_EQ(events[0], 0);
    EXPECT_NE(events[1] & POLLIN, 0);
  }
  char c = 0;
  ASSERT_EQ(read(b.fds[0], &c, 1), 1);
  EXPECT_EQ(set.Wait(0, events), 0);

  // The other end going away is news too, as poll() tells it.
  a.CloseWriter();
  ASSERT_EQ(set.Wait(1000, events), 1);
  EXPECT_NE(events[0] & POLLHUP, 0);

  set.Forget();
  EXPECT_FALSE(set.Watching());
}

TEST(InputWaitSet, WaitsOnADescriptorTheKernelSetRefuses) {
  // A regular file cannot join an epoll set: the waits go by poll(), which
  // finds it always readable, and still tell the pipe apart.
  char name[] = "/tmp/wait-set-XXXXXX";
  const int file = mkstemp(name);
  ASSERT_GE(file, 0);
  unlink(name);
  Pipe p;
  TInputWaitSet set;
  const int watched[2] = {p.fds[0], file};
  set.Watch(watched, 2);
  std::array<short, TInputWaitSet::kMaxFds> events{};
  ASSERT_EQ(set.Wait(1000, events), 1);
  EXPECT_EQ(events[0], 0);
  EXPECT_NE(events[1] & POLLIN, 0);
  ASSERT_EQ(write(p.fds[1], "x", 1), 1);
  ASSERT_EQ(set.Wait(1000, events), 2);
  EXPECT_NE(events[0] & POLLIN, 0);
  close(file);
}

}  // namespace
}  // namespace qor::testing
