#include "comm/platform/thread.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include "comm/platform/exception_display.hpp"
#include "comm/platform/thread_queue.hpp"

namespace qor::platform {

namespace {

std::atomic<ThreadId> nextThreadId{1};
thread_local ThreadId currentThreadId = 0;
thread_local Thread* currentThread = nullptr;

ThreadId NewThreadId() { return nextThreadId.fetch_add(1, std::memory_order_relaxed); }

int NiceValue(Priority priority) {
  switch (priority) {
    case Priority::Idle: return 19;
    case Priority::Lowest: return 10;
    case Priority::BelowNormal: return 5;
    case Priority::Normal: return 0;
    case Priority::AboveNormal: return -5;
    case Priority::Highest: return -10;
    case Priority::TimeCritical: return -15;
  }
  return 0;
}

void ApplyPriority(pid_t tid, Priority priority) {
  // On Linux the nice value of a thread id affects that thread only. Raising it
  // needs privileges; without them the thread keeps its priority.
  static_cast<void>(setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValue(priority)));
}

}  // namespace

ThreadId CurrentThreadId() {
  if (currentThreadId == 0) currentThreadId = NewThreadId();
  return currentThreadId;
}

Thread::Thread(Body body, Priority priority)
    : Waitable(true, false),
      id_(NewThreadId()),
      priority_(priority),
      thread_([this, run = std::move(body)]() mutable { Run(std::move(run)); }) {}

Thread::~Thread() { Join(); }

void Thread::Run(Body body) {
  currentThreadId = id_;
  currentThread = this;
  {
    std::lock_guard lock(mutex_);
    tid_ = gettid();
    ApplyPriority(tid_, priority_);
  }
  int exitCode = kThreadExceptionExitCode;
  try {
    exitCode = body();
  } catch (...) {
    HandleCurrentException();
  }
  body = nullptr;
  CloseCurrentQueue();
  {
    std::lock_guard lock(mutex_);
    tid_ = 0;  // the kernel may give the id to another thread now
    exitCode_ = exitCode;
  }
  currentThread = nullptr;
  Signal();
}

void Thread::SetPriority(Priority priority) {
  std::lock_guard lock(mutex_);
  priority_ = priority;
  if (tid_ != 0) ApplyPriority(tid_, priority_);
}

bool Thread::IsRunning() { return WaitFor(0) == WaitResult::Timeout; }

std::optional<int> Thread::ExitCode() const {
  std::lock_guard lock(mutex_);
  return exitCode_;
}

void Thread::Join() {
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

Thread* Thread::Current() { return currentThread; }

}  // namespace qor::platform
