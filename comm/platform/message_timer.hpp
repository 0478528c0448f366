#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "comm/platform/message_queue.hpp"
#include "comm/platform/thread.hpp"

namespace qor::platform {

// A window timer: while enabled, the callback runs in the thread that created
// the timer, from its message loop, every interval milliseconds. Ticks do not
// pile up: while one waits to be handled, no other is queued.
class MessageTimer {
 public:
  explicit MessageTimer(std::function<void()> on_timer, std::uint32_t interval_ms = 1000);
  ~MessageTimer();
  MessageTimer(const MessageTimer&) = delete;
  MessageTimer& operator=(const MessageTimer&) = delete;

  void SetInterval(std::uint32_t ms);
  std::uint32_t Interval() const;
  // Enabling starts the interval afresh; enabling a running timer changes nothing.
  void SetEnabled(bool enabled);
  bool Enabled() const;

 private:
  int Run();

  std::function<void()> on_timer_;
  WindowHandle window_ = WindowHandle::None;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t interval_ms_;
  bool enabled_ = false;
  bool stopping_ = false;
  std::uint64_t generation_ = 0;  // bumped by every (re)start of the interval
  std::atomic<bool> tick_pending_{false};
  std::unique_ptr<Thread> thread_;  // last: starts once the rest is set up
};

}  // namespace qor::platform
