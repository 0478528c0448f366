#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace qor::platform {

// Time limit that never runs out.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// The moment a time limit in milliseconds runs out. Waits that loop keep one so
// that waking up early does not restart their limit.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Deadline(std::uint32_t ms)
      : infinite_(ms == kInfinite), at_(Clock::now() + std::chrono::milliseconds(ms)) {}

  bool Infinite() const { return infinite_; }
  Clock::time_point At() const { return at_; }
  bool Expired() const { return !infinite_ && Clock::now() >= at_; }

  // Rounded up, so that waiting this long never ends before the deadline;
  // kInfinite without a limit.
  std::uint32_t RemainingMs() const {
    if (infinite_) return kInfinite;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<std::uint32_t>(std::min<long long>(left, kInfinite - 1));
  }

 private:
  bool infinite_;
  Clock::time_point at_;
};

}  // namespace qor::platform
