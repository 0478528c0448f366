#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/types.h>

#include "comm/platform/sync.hpp"

namespace qor::platform {

// Identifies a thread; never 0 and never reused within the process.
using ThreadId = std::uint64_t;

ThreadId CurrentThreadId();

enum class Priority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Exit code of a thread whose body ended with an exception (shown through
// ShowException).
inline constexpr int kThreadExceptionExitCode = -1;

// A thread running body, started by the constructor. Waiting on it waits for its
// end; it stays signaled from then on. Before the thread counts as ended, its
// body's captures are destroyed and its message queue is closed.
// The destructor joins: the owner makes the body end first (RequestStop, an
// event, ...). A Thread is never detached and must not be destroyed or joined
// by its own thread.
class Thread final : public Waitable {
 public:
  using Body = std::function<int()>;

  explicit Thread(Body body, Priority priority = Priority::Normal);
  ~Thread();

  // Best effort: maps to a nice value of the thread; refusals are ignored.
  void SetPriority(Priority priority);

  // Sets the flag the body polls through StopRequested().
  void RequestStop() { stopRequested_.store(true); }
  bool StopRequested() const { return stopRequested_.load(); }

  bool IsRunning();
  std::optional<int> ExitCode() const;  // empty while running
  ThreadId Id() const { return id_; }
  void Join();

  // The Thread whose body the caller runs in, nullptr in other threads. Lets a
  // body poll its own stop flag without racing the owner's assignment.
  static Thread* Current();

 private:
  void Run(Body body);

  const ThreadId id_;
  std::atomic<bool> stopRequested_{false};
  mutable std::mutex mutex_;  // guards the three below
  pid_t tid_ = 0;             // kernel id while the body runs
  Priority priority_;
  std::optional<int> exitCode_;
  std::mutex joinMutex_;
  std::thread thread_;  // last: starts once everything above is set up
};

}  // namespace qor::platform
