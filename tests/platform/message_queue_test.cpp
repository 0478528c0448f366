#include "comm/platform/message_queue.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>

#include "comm/platform/thread.hpp"

namespace qor::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Far beyond any normal answer time, far below the time limits used.
constexpr auto kPromptly = std::chrono::seconds(10);

struct Call {
  std::uint32_t msg;
  std::uintptr_t wParam;
  ThreadId thread;
  bool operator==(const Call&) const = default;
};

// Records the procedure calls of a window; the answer is msg + wParam + lParam.
class CallLog {
 public:
  WindowProc Proc() {
    return [this](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
      std::lock_guard lock(mutex_);
      calls_.push_back({msg, wParam, CurrentThreadId()});
      return static_cast<std::intptr_t>(msg + wParam) + lParam;
    };
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::uintptr_t> WParams() {
    std::vector<std::uintptr_t> values;
    for (const Call& c : Calls()) values.push_back(c.wParam);
    return values;
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
};

// A thread owning one window, running body(window, stop). Finish (and the
// destructor) sets stop and joins.
class WindowThread {
 public:
  using Body = std::function<int(WindowHandle window, Waitable& stop)>;

  WindowThread(WindowProc proc, Body body)
      : thread_([this, proc = std::move(proc), body = std::move(body)]() mutable {
          window_ = CreateMessageWindow(std::move(proc));
          created_.Set();
          return body(window_, stop_);
        }) {
    created_.WaitFor(kInfinite);
  }
  ~WindowThread() { Finish(); }

  WindowHandle Window() const { return window_; }
  ThreadId Id() const { return thread_.Id(); }
  int Finish() {
    stop_.Set();
    thread_.Join();
    return thread_.ExitCode().value_or(-1);
  }

 private:
  Event created_{true, false};
  Event stop_{true, false};
  WindowHandle window_ = WindowHandle::None;
  Thread thread_;
};

int PumpUntilStopped(WindowHandle, Waitable& stop) {
  return WaitPumping(stop, kInfinite) == PumpWaitResult::Signaled ? 0 : 1;
}

void PumpAll() {
  while (ProcessOneMessage() == PumpResult::Processed) {
  }
}

struct SendOutcome {
  bool ok;
  std::intptr_t result;
  Clock::duration took;
};

SendOutcome Send(WindowHandle window, std::uint32_t msg, std::uint32_t timeoutMs) {
  const auto start = Clock::now();
  std::intptr_t result = 0;
  const bool ok = SendMessageTimeout(window, msg, 20, 30, timeoutMs, false, &result);
  return {ok, result, Clock::now() - start};
}

TEST(MessageWindow, SendFromAnotherThreadRunsInTheOwner) {
  CallLog log;
  WindowThread owner(log.Proc(), PumpUntilStopped);
  const SendOutcome sent = Send(owner.Window(), 10, 10000);
  EXPECT_TRUE(sent.ok);
  EXPECT_EQ(sent.result, 60);
  EXPECT_EQ(log.Calls(), (std::vector<Call>{{10, 20, owner.Id()}}));
}

TEST(MessageWindow, SendInTheOwningThreadCallsDirectly) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle window, Waitable&) {
    std::intptr_t result = 0;
    // No pumping and no time: the procedure runs within the call.
    return SendMessageTimeout(window, 1, 2, 3, 0, false, &result) ? static_cast<int>(result) : -1;
  });
  EXPECT_EQ(owner.Finish(), 6);
  EXPECT_EQ(log.Calls(), (std::vector<Call>{{1, 2, owner.Id()}}));
}

TEST(MessageWindow, SendToABusyOwnerTimesOutAndNeverRuns) {
  CallLog log;
  Event go(true, false);
  WindowThread owner(log.Proc(), [&](WindowHandle, Waitable&) {
    go.WaitFor(kInfinite);
    PumpAll();
    return 0;
  });
  const SendOutcome sent = Send(owner.Window(), 1, 100);
  EXPECT_FALSE(sent.ok);
  EXPECT_GE(sent.took, std::chrono::milliseconds(100));
  EXPECT_LT(sent.took, kPromptly);
  ASSERT_TRUE(PostMessage(owner.Window(), 2, 0, 0));
  go.Set();
  owner.Finish();
  EXPECT_EQ(log.Calls(), (std::vector<Call>{{2, 0, owner.Id()}}));  // the withdrawn send did not run
}

TEST(MessageWindow, PostsKeepTheirOrder) {
  CallLog log;
  Event go(true, false);
  WindowThread owner(log.Proc(), [&](WindowHandle, Waitable&) {
    go.WaitFor(kInfinite);
    PumpAll();
    return 0;
  });
  std::vector<std::uintptr_t> posted;
  for (std::uintptr_t i = 0; i < 200; ++i) {
    ASSERT_TRUE(PostMessage(owner.Window(), 1, i, 0));
    posted.push_back(i);
  }
  go.Set();
  owner.Finish();
  EXPECT_EQ(log.WParams(), posted);
}

TEST(MessageWindow, SentMessagesComeBeforePostedOnes) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle window, Waitable&) {
    MessageWaiting().WaitFor(kInfinite);  // the send has arrived
    PostMessage(window, 1, 0, 0);
    PumpAll();
    return 0;
  });
  EXPECT_TRUE(Send(owner.Window(), 2, 10000).ok);
  owner.Finish();
  const auto calls = log.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].msg, 2u);
  EXPECT_EQ(calls[1].msg, 1u);
}

TEST(MessageWindow, DestroyingTheWindowFailsAWaitingSendPromptly) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle window, Waitable& stop) {
    MessageWaiting().WaitFor(kInfinite);
    DestroyMessageWindow(window);
    return PumpUntilStopped(window, stop);
  });
  const SendOutcome sent = Send(owner.Window(), 1, 60000);
  EXPECT_FALSE(sent.ok);
  EXPECT_LT(sent.took, kPromptly);
  owner.Finish();
  EXPECT_TRUE(log.Calls().empty());
}

TEST(MessageWindow, OwnerEndingFailsAWaitingSendPromptly) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle, Waitable&) {
    MessageWaiting().WaitFor(kInfinite);
    return 0;  // ends with the send unanswered
  });
  const SendOutcome sent = Send(owner.Window(), 1, 60000);
  EXPECT_FALSE(sent.ok);
  EXPECT_LT(sent.took, kPromptly);
  owner.Finish();
  EXPECT_TRUE(log.Calls().empty());
  EXPECT_FALSE(PostMessage(owner.Window(), 1, 0, 0));
}

TEST(MessageWindow, ProcedureThatThrowsFailsTheSend) {
  WindowThread owner([](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    throw std::runtime_error("handler failed");
  },
                     [](WindowHandle, Waitable&) {
                       MessageWaiting().WaitFor(kInfinite);
                       EXPECT_THROW(ProcessOneMessage(), std::runtime_error);
                       return 0;
                     });
  const SendOutcome sent = Send(owner.Window(), 1, 60000);
  EXPECT_FALSE(sent.ok);
  EXPECT_LT(sent.took, kPromptly);
}

TEST(MessageWindow, ThreadsSendingToEachOtherDoNotDeadlock) {
  // Each thread handles messages only while it waits in its own send (and
  // afterwards, so that the other's send can still finish).
  Event go(true, false);
  WindowHandle target[2] = {};
  Event sent[2] = {{true, false}, {true, false}};
  CallLog log[2];
  const auto body = [&](int self) {
    return [&, self](WindowHandle, Waitable& stop) {
      go.WaitFor(kInfinite);
      std::intptr_t result = 0;
      const bool ok = SendMessageTimeout(target[self], 1, 0, 0, 20000, false, &result);
      sent[self].Set();
      WaitPumping(stop, kInfinite);
      return ok ? static_cast<int>(result) : -1;
    };
  };
  WindowThread a(log[0].Proc(), body(0));
  WindowThread b(log[1].Proc(), body(1));
  target[0] = b.Window();
  target[1] = a.Window();
  go.Set();
  EXPECT_EQ(sent[0].WaitFor(30000), WaitResult::Signaled);
  EXPECT_EQ(sent[1].WaitFor(30000), WaitResult::Signaled);
  EXPECT_EQ(a.Finish(), 1);
  EXPECT_EQ(b.Finish(), 1);
  EXPECT_EQ(log[0].Calls(), (std::vector<Call>{{1, 0, a.Id()}}));
  EXPECT_EQ(log[1].Calls(), (std::vector<Call>{{1, 0, b.Id()}}));
}

TEST(MessageWindow, ProcedureMayDestroyItsOwnWindow) {
  int calls = 0;
  std::string seen;
  WindowHandle self = WindowHandle::None;
  // The capture is only owned by the procedure: freeing it mid-call would show.
  self = CreateMessageWindow([&, text = std::make_shared<std::string>("still here")](
                                 std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    ++calls;
    EXPECT_TRUE(DestroyMessageWindow(self));
    seen = *text;
    return 0;
  });
  ASSERT_TRUE(PostMessage(self, 1, 0, 0));
  ASSERT_TRUE(PostMessage(self, 2, 0, 0));
  EXPECT_EQ(ProcessOneMessage(), PumpResult::Processed);
  EXPECT_EQ(ProcessOneMessage(), PumpResult::None);  // the second one is dropped
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, "still here");
}

TEST(MessageWindow, StaleHandlesFail) {
  CallLog log;
  const WindowHandle window = CreateMessageWindow(log.Proc());
  ASSERT_NE(window, WindowHandle::None);
  ASSERT_TRUE(DestroyMessageWindow(window));
  std::intptr_t result = 0;
  EXPECT_FALSE(PostMessage(window, 1, 0, 0));
  EXPECT_FALSE(SendMessageTimeout(window, 1, 0, 0, 0, false, &result));
  EXPECT_FALSE(DestroyMessageWindow(window));
  const WindowHandle next = CreateMessageWindow(log.Proc());
  EXPECT_NE(next, window);
  EXPECT_TRUE(DestroyMessageWindow(next));
  EXPECT_EQ(CreateMessageWindow(nullptr), WindowHandle::None);
  EXPECT_TRUE(log.Calls().empty());
}

TEST(MessageLoop, WaitPumpingHandlesMessagesWhileAThreadEnds) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle window, Waitable&) {
    // The child can only end once this thread has answered it.
    Thread child([window] {
      std::intptr_t result = 0;
      return SendMessageTimeout(window, 4, 0, 0, 20000, false, &result) ? static_cast<int>(result) : -1;
    });
    EXPECT_EQ(WaitPumping(child, 30000), PumpWaitResult::Signaled);
    EXPECT_EQ(child.ExitCode(), 4);
    return 0;
  });
  owner.Finish();
  EXPECT_EQ(log.Calls(), (std::vector<Call>{{4, 0, owner.Id()}}));
}

TEST(MessageLoop, WaitPumpingEndsOnQuitAndKeepsIt) {
  CallLog log;
  WindowThread owner(log.Proc(), [](WindowHandle window, Waitable&) {
    Event never(true, false);
    EXPECT_EQ(WaitPumping(never, 30), PumpWaitResult::Timeout);
    PostMessage(window, 1, 0, 0);
    PostQuitMessage(7);
    EXPECT_EQ(WaitPumping(never, 30000), PumpWaitResult::Quit);
    return RunUntilQuit();  // the quit message is still there
  });
  EXPECT_EQ(owner.Finish(), 7);
  EXPECT_EQ(log.Calls(), (std::vector<Call>{{1, 0, owner.Id()}}));  // handled before the quit
}

TEST(MessageLoop, RunInThreadRunsInTheMainLoop) {
  Event ready(true, false);
  Thread mainLoop([&] {
    SetMainThread();
    bool ranDirectly = false;
    EXPECT_TRUE(RunInThread(MainThreadQueue(), [&] { ranDirectly = true; }));
    EXPECT_TRUE(ranDirectly);
    ready.Set();
    return RunUntilQuit();
  });
  ready.WaitFor(kInfinite);
  const auto mainQueue = MainThreadQueue();
  ThreadId ranIn = 0;
  EXPECT_TRUE(RunInThread(mainQueue, [&] { ranIn = CurrentThreadId(); }));
  EXPECT_EQ(ranIn, mainLoop.Id());
  EXPECT_TRUE(RunInThread(mainQueue, [] { PostQuitMessage(3); }));
  mainLoop.Join();
  EXPECT_EQ(mainLoop.ExitCode(), 3);
}

TEST(MessageLoop, RunInThreadFailsWhenTheTargetEnds) {
  struct Case {
    const char* name;
    bool endsWhileCalled;
  };
  for (const Case c : {Case{"ended before", false}, Case{"ends while called", true}}) {
    SCOPED_TRACE(c.name);
    std::shared_ptr<MessageQueue> queue;
    Event ready(true, false);
    Thread target([&] {
      queue = CurrentThreadQueue();
      ready.Set();
      if (c.endsWhileCalled) MessageWaiting().WaitFor(kInfinite);
      return 0;
    });
    ready.WaitFor(kInfinite);
    if (!c.endsWhileCalled) target.Join();
    bool ran = false;
    EXPECT_FALSE(RunInThread(queue, [&] { ran = true; }));
    EXPECT_FALSE(ran);
  }
  EXPECT_FALSE(RunInThread(nullptr, [] {}));
}

TEST(MessageLoop, NotifyFdIsReadableExactlyWhileMessagesWait) {
  Thread owner([] {
    const int fd = NotifyFd();
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    const auto readableWithin = [fd](int ms) {
      pollfd p{fd, POLLIN, 0};
      return poll(&p, 1, ms) == 1;
    };
    CallLog log;
    const WindowHandle window = CreateMessageWindow(log.Proc());
    EXPECT_FALSE(readableWithin(0));
    PostMessage(window, 1, 0, 0);
    PostMessage(window, 2, 0, 0);
    EXPECT_TRUE(readableWithin(0));
    EXPECT_EQ(ProcessOneMessage(), PumpResult::Processed);
    EXPECT_TRUE(readableWithin(0));  // one still waits
    EXPECT_EQ(ProcessOneMessage(), PumpResult::Processed);
    EXPECT_FALSE(readableWithin(0));

    // As an outside loop would: poll, then handle what waits.
    Thread sender([window] {
      std::intptr_t result = 0;
      return SendMessageTimeout(window, 5, 0, 0, 20000, false, &result) ? static_cast<int>(result) : -1;
    });
    EXPECT_TRUE(readableWithin(20000));
    EXPECT_EQ(ProcessOneMessage(), PumpResult::Processed);
    sender.Join();
    EXPECT_EQ(sender.ExitCode(), 5);
    EXPECT_FALSE(readableWithin(0));

    PostQuitMessage(0);
    EXPECT_TRUE(readableWithin(0));
    EXPECT_EQ(ProcessOneMessage(), PumpResult::Quit);
    EXPECT_FALSE(readableWithin(0));
    return 0;
  });
  owner.Join();
}

}  // namespace
}  // namespace qor::platform
