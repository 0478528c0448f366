#include "comm/platform/sync.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "comm/platform/clock.hpp"

namespace qor::platform {
namespace {

TEST(CriticalSection, OwnerReentersOthersWait) {
  CriticalSection section;
  Locker outer(section);
  {
    Locker inner(section);  // would deadlock on a plain mutex
    std::thread other([&] { EXPECT_FALSE(section.try_lock()); });
    other.join();
  }
  std::thread other([&] { EXPECT_FALSE(section.try_lock()); });  // still held once
  other.join();
}

TEST(CriticalSection, NestedLocksKeepOthersOutUntilTheLastUnlock) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 20000;
  CriticalSection section;
  int counter = 0;  // plain: only the lock keeps the increments whole
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        Locker outer(section);
        const int seen = counter;
        {
          Locker inner(section);
          counter = seen + 1;
        }
        // Still held once: nobody may have come in between.
        EXPECT_EQ(counter, seen + 1);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, kThreads * kPerThread);
}

TEST(Interlocked, ReturnsEachNewValueOnce) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 1000;
  std::atomic<std::int32_t> counter{0};
  std::array<std::vector<std::int32_t>, kThreads> seen;
  std::vector<std::thread> threads;
  for (auto& values : seen) {
    threads.emplace_back([&counter, &values] {
      for (int i = 0; i < kPerThread; ++i) values.push_back(InterlockedIncrement(counter));
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::int32_t> all;
  for (const auto& values : seen) all.insert(values.begin(), values.end());
  ASSERT_EQ(all.size(), std::size_t{kThreads * kPerThread});
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), kThreads * kPerThread);
  EXPECT_EQ(InterlockedDecrement(counter), kThreads * kPerThread - 1);
}

TEST(Event, SignalStateByMode) {
  struct Case {
    bool manualReset;
    WaitResult secondWait;
  };
  for (const Case c : {Case{true, WaitResult::Signaled}, Case{false, WaitResult::Timeout}}) {
    SCOPED_TRACE(c.manualReset ? "manual reset" : "auto reset");
    Event event(c.manualReset, false);
    EXPECT_EQ(event.WaitFor(0), WaitResult::Timeout);
    event.Set();
    EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);
    EXPECT_EQ(event.WaitFor(0), c.secondWait);
    event.Set();
    event.Reset();
    EXPECT_EQ(event.WaitFor(0), WaitResult::Timeout);
    Event initiallySet(c.manualReset, true);
    EXPECT_EQ(initiallySet.WaitFor(0), WaitResult::Signaled);
  }
}

// Threads that wait on an event and count how many got through.
struct Waiters {
  explicit Waiters(Event& event, int count) {
    for (int i = 0; i < count; ++i) {
      threads.emplace_back([this, &event] {
        ASSERT_EQ(event.WaitFor(kInfinite), WaitResult::Signaled);
        ++released;
        releasedOne.Set();
      });
    }
  }
  ~Waiters() {
    for (auto& t : threads) t.join();
  }
  std::atomic<int> released{0};
  Event releasedOne{false, false};
  std::vector<std::thread> threads;
};

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  constexpr int kWaiters = 3;
  Event event(false, false);
  Waiters waiters(event, kWaiters);
  for (int round = 1; round <= kWaiters; ++round) {
    event.Set();
    ASSERT_EQ(waiters.releasedOne.WaitFor(10000), WaitResult::Signaled);
    // Give a wrongly released second waiter time to show up.
    Sleep(20);
    EXPECT_EQ(waiters.released.load(), round);
    EXPECT_EQ(event.WaitFor(0), WaitResult::Timeout) << "the signal was not consumed";
  }
}

TEST(Event, ManualResetReleasesAllWaiters) {
  constexpr int kWaiters = 3;
  Event event(true, false);
  {
    Waiters waiters(event, kWaiters);
    event.Set();
  }  // joins: every waiter got through on the one Set
  EXPECT_EQ(event.WaitFor(0), WaitResult::Signaled);
}

TEST(Event, WaitForReturnsAfterItsTimeLimit) {
  Event event(false, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(event.WaitFor(50), WaitResult::Timeout);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(50));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST(WaitForAny, ReturnsLowestSignaledIndexAndTakesOnlyIt) {
  Event a(false, false), b(false, false), c(false, false);
  const std::array<Waitable*, 3> objects{&a, &b, &c};
  EXPECT_EQ(WaitForAny(objects, 0), kWaitTimeout);
  EXPECT_EQ(WaitForAny(objects, 20), kWaitTimeout);
  b.Set();
  c.Set();
  EXPECT_EQ(WaitForAny(objects, 0), 1u);
  EXPECT_EQ(b.WaitFor(0), WaitResult::Timeout);
  EXPECT_EQ(c.WaitFor(0), WaitResult::Signaled);
}

TEST(WaitForAny, WakesWhenAnObjectIsSetLater) {
  Event a(false, false), b(true, false);
  const std::array<Waitable*, 2> objects{&a, &b};
  std::size_t index = kWaitTimeout;
  std::thread waiter([&] { index = WaitForAny(objects, kInfinite); });
  b.Set();
  waiter.join();
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(b.WaitFor(0), WaitResult::Signaled);  // manual reset: not taken
}

TEST(WaitForAny, SameObjectTwice) {
  Event event(false, false);
  const std::array<Waitable*, 2> objects{&event, &event};
  std::size_t index = kWaitTimeout;
  std::thread waiter([&] { index = WaitForAny(objects, kInfinite); });
  event.Set();
  waiter.join();
  EXPECT_EQ(index, 0u);
}

}  // namespace
}  // namespace qor::platform
