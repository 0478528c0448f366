#include "comm/dispatcher/triggers.hpp"

#include <algorithm>
#include <cctype>

#include "comm/ticks.hpp"

namespace qor {

void StartTickTimer(TTickTimer& timer, std::int32_t ticks, std::int32_t now) {
  timer.StartTicks = now;
  timer.ExpireTicks = now + std::min(ticks, kMaxTimerTicks);
}

bool TickTimerExpired(const TTickTimer& timer, std::int32_t now) {
  if (timer.ExpireTicks < now) return true;
  // The clock wrapped since the start.
  return now < timer.StartTicks && timer.ExpireTicks < now + kMaxTimerTicks;
}

std::int32_t TickTimerRemaining(const TTickTimer& timer, std::int32_t now) {
  std::int32_t left = timer.ExpireTicks - now;
  if (now < timer.StartTicks) left -= kMaxTimerTicks;
  return std::max(left, 0);
}

std::uint32_t TickTimerMsLeft(const TTickTimer& timer, std::uint32_t now_ms) {
  const auto now = static_cast<std::int32_t>(now_ms / kMsPerTick);
  if (TickTimerExpired(timer, now)) return 0;
  // Expired once the tick count passes ExpireTicks: at the start of the tick
  // after it.
  const auto ticks = static_cast<std::uint32_t>(TickTimerRemaining(timer, now));
  return (ticks + 1) * kMsPerTick - now_ms % kMsPerTick;
}

bool MatchDataTrigger(std::array<std::int32_t, kDataTriggerCursors>& cursors, std::uint8_t c,
                      std::int32_t length, bool ignore_case,
                      const std::array<char, kDataTriggerStringSize>& string) {
  const char ch = static_cast<char>(ignore_case ? std::toupper(c) : c);
  const std::int32_t slots = std::min(length, kDataTriggerCursors);
  bool result = false;
  bool started = false;
  // A slot holds a partial match that begins at this byte. A second one would
  // be a copy, and copies fill the slots that later partial matches need.
  bool opened = false;
  bool look = true;
  for (std::int32_t i = 0; i < slots; ++i) {
    if (look) {
      const std::int32_t k = cursors[static_cast<std::size_t>(i)];
      if (string[static_cast<std::size_t>(k)] == ch) {
        if (k == length - 1) {
          // A complete match restarts every partial one.
          cursors.fill(0);
          result = true;
          opened = false;
        } else {
          cursors[static_cast<std::size_t>(i)] = k + 1;
          opened = opened || k == 0;
        }
      } else if (string[0] == ch) {
        started = true;
        cursors[static_cast<std::size_t>(i)] = opened ? 0 : 1;
        opened = true;
      } else {
        cursors[static_cast<std::size_t>(i)] = 0;
      }
    }
    if (cursors[static_cast<std::size_t>(i)] == 1) started = true;
    if (i == slots - 1) {
      look = false;
    } else if (started) {
      look = cursors[static_cast<std::size_t>(i) + 1] != 0;
    } else {
      look = cursors[static_cast<std::size_t>(i) + 1] != 0 || string[0] == ch;
    }
  }
  return result;
}

}  // namespace qor
