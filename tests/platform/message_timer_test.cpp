#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "comm/platform/message_queue.hpp"
#include "comm/platform/message_timer.hpp"

namespace qor::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Handles this thread's messages for ms milliseconds.
void PumpFor(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    while (ProcessOneMessage() == PumpResult::Processed) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(MessageTimer, TicksRunInTheOwnerThreadOnlyWhileEnabled) {
  const ThreadId owner = CurrentThreadId();
  int ticks = 0;
  bool in_owner = true;
  MessageTimer timer([&] {
    ++ticks;
    in_owner = in_owner && CurrentThreadId() == owner;
  }, 20);
  PumpFor(100);
  EXPECT_EQ(ticks, 0);  // created disabled
  timer.SetEnabled(true);
  PumpFor(230);
  EXPECT_GE(ticks, 3);
  EXPECT_LE(ticks, 12);
  EXPECT_TRUE(in_owner);
  timer.SetEnabled(false);
  PumpFor(30);  // a tick queued before the switch is dropped
  const int at_stop = ticks;
  PumpFor(100);
  EXPECT_EQ(ticks, at_stop);
}

TEST(MessageTimer, TicksDoNotPileUpWhileTheOwnerIsBusy) {
  int ticks = 0;
  MessageTimer timer([&] { ++ticks; }, 1);
  timer.SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // busy, not pumping
  while (ProcessOneMessage() == PumpResult::Processed) {
  }
  // Without coalescing about a hundred would have queued; a new one may slip in
  // while the first is handled.
  EXPECT_GE(ticks, 1);
  EXPECT_LE(ticks, 3);
}

}  // namespace
}  // namespace qor::platform
