#include "comm/platform/thread.hpp"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "comm/platform/clock.hpp"
#include "comm/platform/exception_display.hpp"
#include "comm/platform/message_queue.hpp"

namespace qor::platform {
namespace {

// Installs a display hook that records what it was shown, for the test's span.
class ShownExceptions {
 public:
  ShownExceptions()
      : previous_(SetExceptionDisplay([this](const std::exception& e) {
          std::lock_guard lock(mutex_);
          text_ += e.what();
        })) {}
  ~ShownExceptions() { SetExceptionDisplay(std::move(previous_)); }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  std::mutex mutex_;
  std::string text_;
  ExceptionDisplay previous_;
};

TEST(Thread, ExitCodeOnceEnded) {
  ShownExceptions shown;
  struct Case {
    const char* name;
    Thread::Body body;
    int exitCode;
    const char* shown;
  };
  const Case cases[] = {
      {"returns", [] { return 7; }, 7, ""},
      {"throws", []() -> int { throw std::runtime_error("disk full"); }, kThreadExceptionExitCode,
       "disk full"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Thread thread(c.body);
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.ExitCode(), c.exitCode);
    EXPECT_EQ(shown.Text(), c.shown);
  }
}

TEST(Thread, EndedStateIsWaitable) {
  Event go(true, false);
  Thread thread([&] {
    go.WaitFor(kInfinite);
    return 3;
  });
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_FALSE(thread.ExitCode().has_value());
  EXPECT_EQ(thread.WaitFor(0), WaitResult::Timeout);

  Event unrelated(false, false);
  const std::array<Waitable*, 2> objects{&unrelated, &thread};
  go.Set();
  EXPECT_EQ(WaitForAny(objects, 10000), 1u);
  EXPECT_EQ(thread.ExitCode(), 3);  // known by the time the end is signaled
  EXPECT_EQ(thread.WaitFor(0), WaitResult::Signaled);  // stays signaled
}

TEST(Thread, BodySeesStopRequest) {
  Thread thread([] {
    while (!Thread::Current()->StopRequested()) Sleep(1);
    return 5;
  });
  EXPECT_FALSE(thread.StopRequested());
  thread.RequestStop();
  EXPECT_EQ(thread.WaitFor(10000), WaitResult::Signaled);
  EXPECT_EQ(thread.ExitCode(), 5);
  EXPECT_EQ(Thread::Current(), nullptr);
}

TEST(Thread, IdsAreStableAndDistinct) {
  ThreadId inside = 0;
  ThreadId insideAgain = 0;
  Thread thread([&] {
    inside = CurrentThreadId();
    insideAgain = CurrentThreadId();
    return 0;
  });
  thread.Join();
  EXPECT_EQ(inside, thread.Id());
  EXPECT_EQ(insideAgain, inside);
  EXPECT_NE(CurrentThreadId(), inside);
  EXPECT_NE(CurrentThreadId(), 0u);
  EXPECT_EQ(CurrentThreadId(), CurrentThreadId());
}

// Lowering a thread's priority needs no privileges, so these always apply.
TEST(Thread, PriorityBecomesNiceValue) {
  struct Case {
    Priority priority;
    int nice;
  };
  for (const Case c : {Case{Priority::Idle, 19}, Case{Priority::Lowest, 10}, Case{Priority::BelowNormal, 5}}) {
    SCOPED_TRACE(c.nice);
    const auto niceNow = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
    Thread atStart(niceNow, c.priority);
    atStart.Join();
    EXPECT_EQ(atStart.ExitCode(), c.nice);

    Event changed(false, false);
    Thread later([&] {
      changed.WaitFor(kInfinite);
      return niceNow();
    });
    later.SetPriority(c.priority);
    changed.Set();
    later.Join();
    EXPECT_EQ(later.ExitCode(), c.nice);
    later.SetPriority(Priority::Normal);  // ended: must not touch a reused kernel id
  }
}

TEST(Thread, QueueIsClosedBeforeTheEndIsSignaled) {
  WindowHandle window = WindowHandle::None;
  Thread thread([&] {
    window = CreateMessageWindow([](std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; });
    return 0;
  });
  thread.WaitFor(kInfinite);
  ASSERT_NE(window, WindowHandle::None);
  EXPECT_FALSE(PostMessage(window, 1, 0, 0));
}

}  // namespace
}  // namespace qor::platform
