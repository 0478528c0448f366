#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace qor {

// Trigger messages: the whole vocabulary between a dispatcher and its handlers.
// lParam carries the dispatcher handle in its high 16 bits.
inline constexpr std::uint32_t kMsgTriggerAvail = 0x7E01;
inline constexpr std::uint32_t kMsgTriggerData = 0x7E02;
inline constexpr std::uint32_t kMsgTriggerTimer = 0x7E03;
inline constexpr std::uint32_t kMsgTriggerStatus = 0x7E04;
// The device failed and every thread of the dispatcher has stopped: wParam is
// the failure's code, negated. Posted to the window named by SetFailureWindow.
inline constexpr std::uint32_t kMsgDeviceFailed = 0x7E0B;

inline constexpr std::int32_t kAvailTriggerHandle = 1;

// Status trigger kinds (the low three bits of a status trigger's handle).
enum TStatusKind : std::int32_t {
  stModem = 1,      // ModemBits under a mask differ from a reference
  stLine = 2,       // a watched line error bit is set
  stOutFree = 3,    // output buffer has at least count bytes free
  stOutUsed = 4,    // output buffer holds at most count bytes
  stOutSent = 5,    // something was sent
};

// Ticks are 55 ms; a timer is (start, expiry) in ticks.
inline constexpr std::int32_t kMaxTimerTicks = 39045157;

struct TTickTimer {
  std::int32_t StartTicks = 0;
  std::int32_t ExpireTicks = 0;
};

void StartTickTimer(TTickTimer& timer, std::int32_t ticks, std::int32_t now);
bool TickTimerExpired(const TTickTimer& timer, std::int32_t now);
std::int32_t TickTimerRemaining(const TTickTimer& timer, std::int32_t now);
// Milliseconds until the timer expires, by the millisecond clock's now_ms; 0
// once it has.
std::uint32_t TickTimerMsLeft(const TTickTimer& timer, std::uint32_t now_ms);

struct TTimerTrigger {
  std::int32_t Handle = 0;
  TTickTimer Timer;
  std::int32_t Interval = 0;
  bool Active = false;
};

struct TStatusTrigger {
  std::int32_t Handle = 0;  // kind in the low three bits
  std::int32_t Kind = 0;
  std::uint16_t Condition = 0;
  bool Armed = false;
  bool Hit = false;
};

inline constexpr int kDataTriggerCursors = 22;
inline constexpr int kDataTriggerStringSize = 24;

struct TDataTrigger {
  std::int32_t Handle = 0;
  std::int32_t Length = 0;  // 0 = inactive
  std::array<std::int32_t, kDataTriggerCursors> Cursors{};
  bool Matched = false;
  bool IgnoreCase = false;
  std::array<char, kDataTriggerStringSize> String{};  // upper case when IgnoreCase
};

// Feeds one received byte to a data trigger's packed match cursors; true when it
// completes the trigger string. A partial match carries over any number of
// received blocks because the cursors live in the record.
bool MatchDataTrigger(std::array<std::int32_t, kDataTriggerCursors>& cursors, std::uint8_t c,
                      std::int32_t length, bool ignore_case,
                      const std::array<char, kDataTriggerStringSize>& string);

// The triggers of a dispatcher, copied so that they can outlive it (a com port
// carries them across a close and reopen).
struct TriggerSnapshot {
  std::int32_t AvailThreshold = 0;
  std::vector<TTimerTrigger> Timers;
  std::vector<TDataTrigger> Data;
  std::vector<TStatusTrigger> Status;
};

}  // namespace qor
