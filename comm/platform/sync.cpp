#include "comm/platform/sync.hpp"

#include <algorithm>
#include <condition_variable>
#include <optional>

namespace qor::platform {

namespace detail {

// One waiting thread, registered with every object it waits on. Lives on the
// waiting thread's stack; an object only touches it under the object's mutex,
// and it unregisters under that mutex before it goes away.
struct Waiter {
  explicit Waiter(std::span<Waitable* const> objects) : objects_(objects) {
    try {
      for (; registered_ < objects_.size(); ++registered_) {
        Waitable& object = *objects_[registered_];
        std::lock_guard lock(object.mutex_);
        object.waiters_.push_back(this);
      }
    } catch (...) {
      Unregister();
      throw;
    }
  }

  ~Waiter() { Unregister(); }

  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  // Takes the first signaled object; an auto-reset one stops being signaled.
  static std::optional<std::size_t> AcquireFirst(std::span<Waitable* const> objects) {
    for (std::size_t i = 0; i < objects.size(); ++i) {
      Waitable& object = *objects[i];
      std::lock_guard lock(object.mutex_);
      if (object.signaled_) {
        if (!object.manualReset_) object.signaled_ = false;
        return i;
      }
    }
    return std::nullopt;
  }

  static void WakeAll(Waitable& object) {  // object.mutex_ held
    for (Waiter* waiter : object.waiters_) {
      std::lock_guard lock(waiter->mutex_);
      waiter->woken_ = true;
      waiter->wake_.notify_one();
    }
  }

  void ClearWoken() {
    std::lock_guard lock(mutex_);
    woken_ = false;
  }

  // False when the deadline passed without a wake-up.
  bool Sleep(const Deadline& deadline) {
    std::unique_lock lock(mutex_);
    if (deadline.Infinite()) {
      wake_.wait(lock, [this] { return woken_; });
      return true;
    }
    return wake_.wait_until(lock, deadline.At(), [this] { return woken_; });
  }

 private:
  void Unregister() {
    for (std::size_t i = 0; i < registered_; ++i) {
      Waitable& object = *objects_[i];
      std::lock_guard lock(object.mutex_);
      // One entry per registration, so an object listed twice is handled too.
      object.waiters_.erase(std::find(object.waiters_.begin(), object.waiters_.end(), this));
    }
    registered_ = 0;
  }

  std::span<Waitable* const> objects_;
  std::size_t registered_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
};

}  // namespace detail

void Waitable::Signal() {
  std::lock_guard lock(mutex_);
  signaled_ = true;
  // Every waiter retries: one that is woken may take another object instead,
  // so waking a single one could leave an auto-reset signal unnoticed.
  detail::Waiter::WakeAll(*this);
}

void Waitable::Unsignal() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

WaitResult Waitable::WaitFor(std::uint32_t ms) {
  Waitable* const self[] = {this};
  return WaitForAny(self, ms) == 0 ? WaitResult::Signaled : WaitResult::Timeout;
}

std::size_t WaitForAny(std::span<Waitable* const> objects, std::uint32_t ms) {
  if (const auto index = detail::Waiter::AcquireFirst(objects)) return *index;
  if (ms == 0) return kWaitTimeout;
  const Deadline deadline(ms);
  detail::Waiter waiter(objects);
  for (;;) {
    // Cleared before looking, so a signal arriving after the look still wakes us.
    waiter.ClearWoken();
    if (const auto index = detail::Waiter::AcquireFirst(objects)) return *index;
    if (!waiter.Sleep(deadline)) return kWaitTimeout;
  }
}

}  // namespace qor::platform
