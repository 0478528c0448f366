// Creating, arming and deleting triggers; handler lists.
#include <algorithm>
#include <cstring>

#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/platform/clock.hpp"
#include "comm/ticks.hpp"

namespace qor {

using platform::Locker;

namespace {

template <class List, class Pred>
bool AnyOf(const List& list, Pred pred) {
  return std::any_of(list.begin(), list.end(), pred);
}

void LogUint32(TQorBaseDispatcher& d, std::uint8_t kind, std::uint16_t sub_kind,
               std::uint32_t value, std::uint32_t number) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &value, sizeof bytes);
  d.AddLogEntry(kind, sub_kind, bytes, sizeof bytes, number);
}

}  // namespace

std::int32_t TQorBaseDispatcher::NewTriggerHandle() {
  if (trigger_counter_ < 4096) return trigger_counter_++ * 8;
  for (std::int32_t h = 8; h <= 4096; h += 8) {
    const bool used =
        AnyOf(timer_triggers_, [h](const TTimerTrigger& t) { return t.Handle == h; }) ||
        AnyOf(status_triggers_, [h](const TStatusTrigger& t) { return (t.Handle & ~7) == h; }) ||
        AnyOf(data_triggers_, [h](const TDataTrigger& t) { return t.Handle == h; });
    if (!used) return h;
  }
  return 0;
}

std::int32_t TQorBaseDispatcher::CreateTimerTrigger() {
  Locker lock(state_lock_);
  const std::int32_t handle = NewTriggerHandle();
  if (handle == 0) return -5001;
  TTimerTrigger t;
  t.Handle = handle;
  timer_triggers_.push_back(t);
  AddLogEntry(dlkTriggerAlloc, dlsTimerTrigger, static_cast<std::uint32_t>(handle));
  return handle;
}

std::int32_t TQorBaseDispatcher::CreateStatusTrigger(std::int32_t kind) {
  if (kind < 0 || kind >= 6) return -1002;
  Locker lock(state_lock_);
  const std::int32_t handle = NewTriggerHandle() | kind;
  if (handle < 8) return -5001;
  TStatusTrigger t;
  t.Handle = handle;
  t.Kind = kind;
  status_triggers_.push_back(t);
  const std::uint8_t kind_byte = static_cast<std::uint8_t>(kind);
  AddLogEntry(dlkTriggerAlloc, dlsStatusTrigger, &kind_byte, 1, static_cast<std::uint32_t>(handle));
  return handle;
}

std::int32_t TQorBaseDispatcher::AddDataTrigger(const std::string& text, bool ignore_case) {
  if (text.empty()) return -1002;
  if (text.size() > static_cast<std::size_t>(kDataTriggerCursors)) return -5002;
  Locker lock(state_lock_);
  const std::int32_t handle = NewTriggerHandle();
  if (handle == 0) return -5001;
  TDataTrigger t;
  t.Handle = handle;
  t.Length = static_cast<std::int32_t>(text.size());
  t.IgnoreCase = ignore_case;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    t.String[i] = static_cast<char>(ignore_case ? std::toupper(c) : c);
  }
  data_triggers_.push_back(t);
  AddLogEntry(dlkTriggerAlloc, dlsDataTrigger, static_cast<std::uint32_t>(handle));
  return handle;
}

std::int32_t TQorBaseDispatcher::FindTrigger(std::int32_t handle, bool erase, int& kind,
                                             std::size_t& index) {
  if (handle < 2) return -5003;
  for (std::size_t i = 0; i < timer_triggers_.size(); ++i) {
    if (timer_triggers_[i].Handle != handle) continue;
    kind = 2;
    index = i;
    if (erase) timer_triggers_.erase(timer_triggers_.begin() + static_cast<std::ptrdiff_t>(i));
    return 0;
  }
  for (std::size_t i = 0; i < status_triggers_.size(); ++i) {
    if (status_triggers_[i].Handle != handle) continue;
    kind = 4;
    index = i;
    if (erase) status_triggers_.erase(status_triggers_.begin() + static_cast<std::ptrdiff_t>(i));
    return 0;
  }
  for (std::size_t i = 0; i < data_triggers_.size(); ++i) {
    if ((data_triggers_[i].Handle & ~7) != handle) continue;
    kind = 3;
    index = i;
    if (erase) data_triggers_.erase(data_triggers_.begin() + static_cast<std::ptrdiff_t>(i));
    return 0;
  }
  return -5003;
}

std::int32_t TQorBaseDispatcher::DeleteTrigger(std::int32_t handle) {
  Locker lock(state_lock_);
  if (handle == kAvailTriggerHandle) {
    avail_threshold_ = 0;
    return 0;
  }
  std::int32_t status_kind = 0;
  for (const TStatusTrigger& t : status_triggers_) {
    if (t.Handle == handle) status_kind = t.Kind;
  }
  int kind = 0;
  std::size_t index = 0;
  const std::int32_t result = FindTrigger(handle, true, kind, index);
  if (result < 0) return result;
  const auto number = static_cast<std::uint32_t>(handle);
  if (kind == 2) {
    AddLogEntry(dlkTriggerDispose, dlsTimer, number);
  } else if (kind == 4) {
    const std::uint8_t kind_byte = static_cast<std::uint8_t>(status_kind);
    AddLogEntry(dlkTriggerDispose, dlsStatusTrigger, &kind_byte, 1, number);
  } else {
    AddLogEntry(dlkTriggerDispose, dlsData, number);
  }
  return 0;
}

std::int32_t TQorBaseDispatcher::ArmTimerTrigger(std::int32_t handle, std::int32_t ticks,
                                                 bool activate) {
  Locker lock(state_lock_);
  int kind = 0;
  std::size_t index = 0;
  if (FindTrigger(handle, false, kind, index) < 0 || kind != 2) return -5003;
  TTimerTrigger& t = timer_triggers_[index];
  if (activate) {
    if (ticks != 0) t.Interval = ticks;
    // One reading of the clock for the start and the wake-up's due time.
    const std::uint32_t now_ms = platform::TimeGetTime();
    StartTickTimer(t.Timer, t.Interval, static_cast<std::int32_t>(now_ms / kMsPerTick));
    LookBy(now_ms + TickTimerMsLeft(t.Timer, now_ms));
  }
  t.Active = activate;
  if (Logging()) {
    if (activate) {
      LogUint32(*this, dlkTriggerDataChange, dlsTimerTrigger, static_cast<std::uint32_t>(ticks),
                static_cast<std::uint32_t>(handle));
    } else {
      static constexpr char kText[] = "Deactivated";
      AddLogEntry(dlkTriggerDataChange, dlsTimerTrigger,
                  reinterpret_cast<const std::uint8_t*>(kText), sizeof kText - 1,
                  static_cast<std::uint32_t>(handle));
    }
  }
  return 0;
}

std::int32_t TQorBaseDispatcher::TimerTicksLeft(std::int32_t handle, std::int32_t& ticks) {
  Locker lock(state_lock_);
  int kind = 0;
  std::size_t index = 0;
  if (FindTrigger(handle, false, kind, index) < 0 || kind != 2) return -5003;
  ticks = TickTimerRemaining(timer_triggers_[index].Timer, NowTicks());
  return 0;
}

std::int32_t TQorBaseDispatcher::ArmStatusTrigger(std::int32_t handle, std::int32_t value,
                                                  bool activate) {
  std::int32_t armed_kind = 0;
  const std::int32_t result = ArmStatusTriggerLocked(handle, value, activate, armed_kind);
  // Armed by a handler inside a notice, the output may already be where the
  // trigger waits for it, with the writer's last "output empty" event gone
  // before: wake the dispatch thread to look, rather than leave it to its
  // next periodic check (which sees a trigger armed elsewhere within 50 ms).
  // (The counts take SendLock, so not under StateLock.)
  const std::int32_t condition = static_cast<std::uint16_t>(value);  // as the trigger keeps it
  if (result == 0 && activate && HandlersRunning() &&
      ((armed_kind == stOutFree && OutputFree() >= condition) ||
       (armed_kind == stOutUsed && OutputUsed() <= condition))) {
    input_queue_.Push(std::make_unique<TStatusBuffer>(kEvTxEmpty));
  }
  return result;
}

std::int32_t TQorBaseDispatcher::ArmStatusTriggerLocked(std::int32_t handle, std::int32_t value,
                                                        bool activate, std::int32_t& armed_kind) {
  Locker lock(state_lock_);
  int kind = 0;
  std::size_t index = 0;
  if (FindTrigger(handle, false, kind, index) < 0 || kind != 4) return -5003;
  TStatusTrigger& t = status_triggers_[index];
  armed_kind = t.Kind;
  if (activate) {
    switch (t.Kind) {
      case stModem: {
        const auto mask = static_cast<std::uint8_t>(value);
        t.Condition = static_cast<std::uint16_t>((mask << 8) | (mask & modem_bits_));
        break;
      }
      case stLine: {
        std::uint16_t mask = 0;
        if ((value & 1) != 0) mask |= 2;
        if ((value & 2) != 0) mask |= 4;
        if ((value & 4) != 0) mask |= 8;
        if ((value & 8) != 0) mask |= 16;
        t.Condition = mask;
        break;
      }
      case stOutFree:
      case stOutUsed:
        t.Condition = static_cast<std::uint16_t>(value);
        break;
      default:
        break;
    }
  }
  t.Armed = activate;
  if (activate) LookBy(platform::TimeGetTime());  // from now on it is looked at every pass
  LogUint32(*this, dlkTriggerDataChange, dlsStatusTrigger, t.Condition,
            static_cast<std::uint32_t>(handle));
  return 0;
}

void TQorBaseDispatcher::SetAvailThreshold(std::int32_t count) {
  Locker lock(state_lock_);
  avail_threshold_ = count;
  LookBy(platform::TimeGetTime());  // bytes already received may now be enough
  AddLogEntry(dlkTriggerDataChange, dlsAvailTrigger, static_cast<std::uint32_t>(count));
}

std::int32_t TQorBaseDispatcher::AvailThreshold() {
  Locker lock(state_lock_);
  return avail_threshold_;
}

void TQorBaseDispatcher::ClearTriggers() {
  Locker lock(state_lock_);
  avail_threshold_ = 0;
  timer_triggers_.clear();
  data_triggers_.clear();
  status_triggers_.clear();
  trigger_counter_ = 1;
}

void TQorBaseDispatcher::SnapshotTriggers(TriggerSnapshot& snapshot) {
  Locker lock(state_lock_);
  snapshot.AvailThreshold = avail_threshold_;
  snapshot.Timers = timer_triggers_;
  snapshot.Data = data_triggers_;
  snapshot.Status = status_triggers_;
}

void TQorBaseDispatcher::ReloadTriggers(const TriggerSnapshot& snapshot) {
  Locker lock(state_lock_);
  avail_threshold_ = snapshot.AvailThreshold;
  timer_triggers_ = snapshot.Timers;
  data_triggers_ = snapshot.Data;
  status_triggers_ = snapshot.Status;
  LookBy(platform::TimeGetTime());
}

void TQorBaseDispatcher::ResetStatusHits() {
  Locker lock(state_lock_);
  for (TStatusTrigger& t : status_triggers_) t.Hit = false;
  status_hit_seen_ = false;
}

// ---------------------------------------------------------------- handlers

void TQorBaseDispatcher::AddWindowHandler(platform::WindowHandle window) {
  Locker lock(state_lock_);
  window_handlers_.push_back({window});
  notify_needed_ = true;
  AddLogEntry(dlkHandlerAlloc, dlsWindow, static_cast<std::uint32_t>(window));
}

void TQorBaseDispatcher::AddProcHandler(TTriggerProc proc) {
  Locker lock(state_lock_);
  proc_handlers_.push_back({proc});
  notify_needed_ = true;
  AddLogEntry(dlkHandlerAlloc, dlsProcedure, 0);
}

void TQorBaseDispatcher::AddMethodHandler(const TTriggerMethod& method, bool synchronize) {
  Locker lock(state_lock_);
  method_handlers_.push_back({method, synchronize});
  notify_needed_ = true;
  AddLogEntry(dlkHandlerAlloc, dlsMethod, 0);
}

namespace {

// Removes the first entry that matches: at once, or by marking it while
// handlers run (the end of the notification purges it). False when none matches.
template <class List, class Match>
bool RemoveHandler(List& list, Match match, bool handlers_running, bool& purge_pending) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (!match(*it)) continue;
    if (handlers_running) {
      it->deleted = true;
      purge_pending = true;
    } else {
      list.erase(it);
    }
    return true;
  }
  return false;
}

}  // namespace

void TQorBaseDispatcher::SetFailureWindow(platform::WindowHandle window) {
  Locker lock(state_lock_);
  failure_window_ = window;
}

void TQorBaseDispatcher::RemoveWindowHandler(platform::WindowHandle window) {
  Locker lock(state_lock_);
  if (RemoveHandler(window_handlers_, [window](const auto& h) { return h.window == window; },
                    handlers_running_, purge_pending_)) {
    AddLogEntry(dlkHandlerDispose, dlsWindow, static_cast<std::uint32_t>(window));
  } else {
    RecomputeHandlerFlags(0);
  }
}

void TQorBaseDispatcher::RemoveProcHandler(TTriggerProc proc) {
  Locker lock(state_lock_);
  if (RemoveHandler(proc_handlers_, [proc](const auto& h) { return h.proc == proc; },
                    handlers_running_, purge_pending_)) {
    AddLogEntry(dlkHandlerDispose, dlsProcedure, 0);
  } else {
    RecomputeHandlerFlags(0);
  }
}

void TQorBaseDispatcher::RemoveMethodHandler(const TTriggerMethod& method) {
  Locker lock(state_lock_);
  if (RemoveHandler(method_handlers_, [&method](const auto& h) { return h.method == method; },
                    handlers_running_, purge_pending_)) {
    AddLogEntry(dlkHandlerDispose, dlsMethod, 0);
  } else {
    RecomputeHandlerFlags(0);
  }
}

void TQorBaseDispatcher::RecomputeHandlerFlags(std::int32_t mode) {
  Locker lock(state_lock_);
  const bool others = window_handlers_.size() > 1 || !proc_handlers_.empty() ||
                      !method_handlers_.empty();
  switch (mode) {
    case 0:
      notify_needed_ = others || port_wants_events_;
      break;
    case 1:
      port_wants_events_ = true;
      notify_needed_ = true;
      break;
    case 2:
      port_wants_events_ = false;
      notify_needed_ = others;
      break;
    default:
      break;
  }
}

void TQorBaseDispatcher::PurgeDeletedHandlers() {
  auto deleted = [](const auto& h) { return h.deleted; };
  std::erase_if(window_handlers_, deleted);
  std::erase_if(proc_handlers_, deleted);
  std::erase_if(method_handlers_, deleted);
}

}  // namespace qor
