// How long the dispatch thread waits for input between its checks. Received
// data, status events and a close wake it; what it finds only by looking is
// looked at every kDispatchWaitMs: the modem lines, line errors and output
// level that an armed status trigger waits for. Without such a trigger it
// sleeps until the earliest timer trigger is due, so that an idle or slow
// line does not cost twenty wake-ups a second; a change to the triggers
// during that sleep wakes it (LookBy).
//
// Two output triggers need no looking: room in the output ring only grows
// when the write thread takes the ring or the output is purged, and the
// output only becomes empty when the write thread finishes a block or a
// write goes straight through; each of those queues an "output empty" event
// while such a trigger is armed. A streaming sender that waits for room thus
// sleeps until the writer makes some.
#include <algorithm>

#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

using platform::Locker;

namespace {

constexpr std::uint32_t kDispatchWaitMs = 50;
// The longest sleep with no timer armed.
constexpr std::uint32_t kIdleDispatchWaitMs = 1000;

// Whether the trigger's condition can come true without an event.
bool FoundByLooking(const TStatusTrigger& t) {
  if (t.Kind == stOutFree) return false;
  if (t.Kind == stOutUsed && t.Condition == 0) return false;
  return true;
}

}  // namespace

std::uint32_t TQorBaseDispatcher::BeginDispatchWait() {
  Locker state(state_lock_);
  const std::uint32_t now_ms = platform::TimeGetTime();
  std::uint32_t ms = kIdleDispatchWaitMs;
  if (std::any_of(status_triggers_.begin(), status_triggers_.end(),
                  [](const TStatusTrigger& t) { return t.Armed && FoundByLooking(t); })) {
    ms = kDispatchWaitMs;
  }
  for (const TTimerTrigger& t : timer_triggers_) {
    if (t.Active) ms = std::min(ms, TickTimerMsLeft(t.Timer, now_ms));
  }
  ms = std::max<std::uint32_t>(ms, 1);
  long_wait_ = ms > kDispatchWaitMs;
  wait_end_ms_ = now_ms + ms;
  return ms;
}

void TQorBaseDispatcher::EndDispatchWait() {
  Locker state(state_lock_);
  long_wait_ = false;
}

void TQorBaseDispatcher::LookBy(std::uint32_t due_ms) {
  Locker state(state_lock_);
  // Compared as a difference: the millisecond clock wraps.
  if (!long_wait_ || static_cast<std::int32_t>(due_ms - wait_end_ms_) >= 0) return;
  long_wait_ = false;
  // The queue's lock is taken under no other, so this may run under StateLock.
  input_queue_.Wake();
}

}  // namespace qor
