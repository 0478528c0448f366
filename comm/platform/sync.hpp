#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "comm/platform/deadline.hpp"

namespace qor::platform {

// Re-entrant lock: the owning thread may lock it again. Works with
// std::lock_guard and std::unique_lock.
class CriticalSection {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  bool try_lock() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

using Locker = std::lock_guard<CriticalSection>;

// Both return the new value.
inline std::int32_t InterlockedIncrement(std::atomic<std::int32_t>& value) { return ++value; }
inline std::int32_t InterlockedDecrement(std::atomic<std::int32_t>& value) { return --value; }

enum class WaitResult { Signaled, Timeout };

// WaitForAny's result when the time limit passed.
inline constexpr std::size_t kWaitTimeout = static_cast<std::size_t>(-1);

namespace detail {
struct Waiter;
}

// Something a thread can wait for: signaled or not. A manual-reset object stays
// signaled for every waiter until it is reset; an auto-reset one is taken by the
// first wait that sees it, so each signal releases exactly one wait.
// The owner must keep it alive while any thread waits on it.
class Waitable {
 public:
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

  // ms may be kInfinite.
  WaitResult WaitFor(std::uint32_t ms);

 protected:
  Waitable(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}
  ~Waitable() = default;

  void Signal();
  void Unsignal();

 private:
  friend struct detail::Waiter;

  std::mutex mutex_;  // taken before any waiter's mutex, never after
  const bool manualReset_;
  bool signaled_;
  std::vector<detail::Waiter*> waiters_;
};

// Waits until one of the objects is signaled and returns its index (the lowest
// when several are; only that one is taken if it is auto-reset), or kWaitTimeout
// once ms have passed. ms may be kInfinite.
std::size_t WaitForAny(std::span<Waitable* const> objects, std::uint32_t ms);

class Event final : public Waitable {
 public:
  Event(bool manualReset, bool initialState) : Waitable(manualReset, initialState) {}

  void Set() { Signal(); }
  void Reset() { Unsignal(); }
};

}  // namespace qor::platform
