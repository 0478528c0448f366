#include "comm/platform/message_timer.hpp"

#include <chrono>

namespace qor::platform {

namespace {
constexpr std::uint32_t kMsgTick = 0x0113;
}

MessageTimer::MessageTimer(std::function<void()> on_timer, std::uint32_t interval_ms)
    : on_timer_(std::move(on_timer)), interval_ms_(interval_ms == 0 ? 1 : interval_ms) {
  window_ = CreateMessageWindow([this](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
    if (msg != kMsgTick) return std::intptr_t{0};
    tick_pending_ = false;
    if (Enabled() && on_timer_) on_timer_();
    return std::intptr_t{0};
  });
  thread_ = std::make_unique<Thread>([this] { return Run(); });
}

MessageTimer::~MessageTimer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.reset();  // joins
  DestroyMessageWindow(window_);
}

void MessageTimer::SetInterval(std::uint32_t ms) {
  {
    std::lock_guard lock(mutex_);
    interval_ms_ = ms == 0 ? 1 : ms;
    ++generation_;
  }
  changed_.notify_all();
}

std::uint32_t MessageTimer::Interval() const {
  std::lock_guard lock(mutex_);
  return interval_ms_;
}

void MessageTimer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    if (enabled == enabled_) return;
    enabled_ = enabled;
    ++generation_;
  }
  changed_.notify_all();
}

bool MessageTimer::Enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

int MessageTimer::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (!enabled_) {
      changed_.wait(lock, [this] { return stopping_ || enabled_; });
      continue;
    }
    const std::uint64_t generation = generation_;
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_ms_);
    if (changed_.wait_until(lock, due, [&] { return stopping_ || generation_ != generation; })) {
      continue;  // stopped, disabled or restarted
    }
    if (!tick_pending_.exchange(true)) PostMessage(window_, kMsgTick, 0, 0);
  }
  return 0;
}

}  // namespace qor::platform
