#pragma once
#include <cstdint>

namespace qor {

// The library measures time in ticks of 55 ms.
inline constexpr std::uint32_t kMsPerTick = 55;

// Ticks since the millisecond clock's origin (its reading divided by 55).
std::int32_t NowTicks();

// Seconds to ticks: seconds * 1675 div 92.
constexpr std::int32_t SecsToTicks(std::int32_t seconds) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(seconds) * 1675 / 92);
}

// Ticks to seconds: (ticks + 9) * 92 div 1675.
constexpr std::int32_t TicksToSecs(std::int32_t ticks) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(ticks) + 9) * 92 / 1675);
}

}  // namespace qor
