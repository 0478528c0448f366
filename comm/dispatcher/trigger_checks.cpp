// The trigger checks of the dispatch thread and the delivery of one trigger
// message to every handler. Trigger records are examined under the locks, one
// step at a time; no lock is held while a handler runs.
#include <algorithm>

#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/ticks.hpp"

namespace qor {

using platform::Locker;

namespace {

constexpr std::uint32_t kWindowSendTimeoutMs = 3000;

std::int32_t NextPos(std::int32_t p) { return (p + 1) % kRecvRingSize; }

}  // namespace

bool TQorBaseDispatcher::MatchingDataTriggers() const {
  return std::any_of(data_triggers_.begin(), data_triggers_.end(),
                     [](const TDataTrigger& t) { return t.Length != 0; });
}

std::int32_t TQorBaseDispatcher::InputBeforeAnyTrigger() {
  Locker recv(recv_lock_);
  Locker state(state_lock_);
  if (avail_threshold_ <= 1 || MatchingDataTriggers()) return 1;
  return std::max(1, avail_threshold_ - UnreadLocked());
}

bool TQorBaseDispatcher::CheckRecvTriggers() {
  std::int32_t match_pos = -1;
  std::int32_t avail_count = -1;
  std::size_t data_count = 0;
  std::uint32_t purges = 0;
  {
    Locker recv(recv_lock_);
    Locker state(state_lock_);
    if (recv_ring_.empty()) return false;
    purges = input_purges_;
    // Without a data trigger to feed there is nothing to look at byte by byte.
    std::int32_t p = MatchingDataTriggers() ? scan_pos_ : recv_head_;
    while (p != recv_head_) {
      const std::uint8_t c = recv_ring_[static_cast<std::size_t>(p)];
      bool any = false;
      std::int32_t longest = 0;
      for (TDataTrigger& t : data_triggers_) {
        if (t.Length == 0) continue;
        t.Matched = t.Matched || MatchDataTrigger(t.Cursors, c, t.Length, t.IgnoreCase, t.String);
        if (t.Matched) {
          any = true;
          longest = std::max(longest, t.Length);
        }
      }
      if (any) {
        if (avail_threshold_ != 0 && avail_notified_at_ != p) {
          // The bytes in front of the matched string.
          const std::int32_t through_p = (p - recv_tail_ + kRecvRingSize) % kRecvRingSize + 1;
          const std::int32_t before = through_p - longest;
          if (before >= avail_threshold_) {
            avail_count = before;
            scan_pos_ = avail_notified_at_ = p;
          }
        }
        match_pos = p;
        data_count = data_triggers_.size();
        break;
      }
      p = NextPos(p);
    }
    if (match_pos < 0) {
      scan_pos_ = p;
      const std::int32_t used = UnreadLocked() - (in_avail_call_ ? take_count_ : 0);
      if (avail_threshold_ == 0 || avail_notified_at_ == p || used < avail_threshold_) return false;
      avail_notified_at_ = p;
      AddLogEntry(dlkTrigger, dlsAvail, static_cast<std::uint32_t>(used));
      avail_count = used;
    } else if (avail_count >= 0) {
      AddLogEntry(dlkTrigger, dlsAvail, static_cast<std::uint32_t>(avail_count));
    }
  }

  bool result = false;
  if (avail_count >= 0) {
    result = NotifyHandlers(kMsgTriggerAvail, static_cast<std::uintptr_t>(avail_count), 0);
  }
  if (match_pos < 0) return result;

  // Every matched data trigger, last first; stop if the list has shrunk.
  for (std::size_t i = data_count; i-- > 0;) {
    std::int32_t handle = 0;
    std::int32_t length = 0;
    {
      Locker state(state_lock_);
      if (i >= data_triggers_.size()) break;
      TDataTrigger& t = data_triggers_[i];
      if (!t.Matched) continue;
      t.Matched = false;
      handle = t.Handle;
      length = t.Length;
      AddLogEntry(dlkTrigger, dlsData, static_cast<std::uint32_t>(handle));
    }
    result = NotifyHandlers(kMsgTriggerData, static_cast<std::uintptr_t>(handle),
                            static_cast<std::uint16_t>(length));
  }
  Locker recv(recv_lock_);
  // A handler that purged the input has moved the scan past what it purged.
  if (input_purges_ == purges) scan_pos_ = NextPos(match_pos);
  return result;
}

bool TQorBaseDispatcher::OutputTriggerArmed() {
  Locker state(state_lock_);
  return std::any_of(status_triggers_.begin(), status_triggers_.end(), [](const TStatusTrigger& t) {
    return t.Armed && !t.Hit && (t.Kind == stOutFree || t.Kind == stOutUsed);
  });
}

bool TQorBaseDispatcher::CheckStatusTriggers() {
  bool wants_output_counts = false;
  {
    Locker state(state_lock_);
    for (const TStatusTrigger& t : status_triggers_) {
      if (t.Armed && !t.Hit && (t.Kind == stOutFree || t.Kind == stOutUsed)) {
        wants_output_counts = true;
      }
    }
  }
  // The output counts take SendLock, which must not be taken under StateLock.
  std::int32_t used = 0;
  std::int32_t free = 0;
  if (wants_output_counts) OutputCounts(used, free);

  std::int32_t handle = 0;
  std::uint16_t low_word = 0;
  {
    Locker state(state_lock_);
    bool fired = false;
    for (TStatusTrigger& t : status_triggers_) {
      if (!t.Armed || t.Hit) continue;
      switch (t.Kind) {
        case stModem:
          fired = (((t.Condition & 0xFF) ^ modem_bits_) & (t.Condition >> 8)) != 0;
          break;
        case stLine:
          fired = (t.Condition & line_error_bits_) != 0;
          if (fired) t.Condition = static_cast<std::uint16_t>(line_error_bits_);
          break;
        case stOutFree:
          fired = free >= t.Condition;
          low_word = static_cast<std::uint16_t>(free);
          break;
        case stOutUsed:
          fired = used <= t.Condition;
          low_word = static_cast<std::uint16_t>(used);
          break;
        case stOutSent:
          fired = sent_flag_.exchange(false);
          break;
        default:
          break;
      }
      if (fired) {
        t.Armed = false;
        t.Hit = true;
        status_hit_seen_ = true;
        handle = t.Handle;
        if (t.Kind != stOutFree && t.Kind != stOutUsed) low_word = 0;
        AddLogEntry(dlkTrigger, dlsStatus, static_cast<std::uint32_t>(handle));
        break;
      }
    }
    if (!fired) return false;
  }
  return NotifyHandlers(kMsgTriggerStatus, static_cast<std::uintptr_t>(handle), low_word);
}

bool TQorBaseDispatcher::CheckTimerTriggers() {
  std::int32_t handle = 0;
  {
    Locker state(state_lock_);
    const std::int32_t now = NowTicks();
    auto it = std::find_if(timer_triggers_.begin(), timer_triggers_.end(),
                           [now](const TTimerTrigger& t) {
                             return t.Active && TickTimerExpired(t.Timer, now);
                           });
    if (it == timer_triggers_.end()) return false;
    it->Active = false;
    handle = it->Handle;
    AddLogEntry(dlkTrigger, dlsTimer, static_cast<std::uint32_t>(handle));
  }
  return NotifyHandlers(kMsgTriggerTimer, static_cast<std::uintptr_t>(handle), 0);
}

void TQorBaseDispatcher::CheckTimersAndStatus() {
  if (close_pending_ || handlers_running_) return;
  {
    Locker state(state_lock_);
    status_hit_seen_ = false;
  }
  while ((CheckStatusTriggers() || CheckTimerTriggers()) && !close_pending_) {
  }
  bool hit_seen = false;
  {
    Locker state(state_lock_);
    hit_seen = status_hit_seen_;
  }
  if (hit_seen) ResetStatusHits();
}

bool TQorBaseDispatcher::NotifyHandlers(std::uint32_t msg, std::uintptr_t wParam,
                                        std::uint16_t low_word) {
  if (!notify_needed_) return true;
  {
    Locker state(state_lock_);
    handlers_running_ = true;
  }
  const bool consumes = msg == kMsgTriggerAvail || msg == kMsgTriggerData;
  {
    Locker recv(recv_lock_);
    max_taken_ = 0;
    in_avail_call_ = consumes;
  }
  const auto lParam = static_cast<std::intptr_t>((static_cast<std::uintptr_t>(handle_) << 16) |
                                                 low_word);

  // Bookkeeping around one handler: its reads start at the first unread byte;
  // afterwards the notification keeps the largest count any handler read.
  auto before_handler = [this] {
    Locker recv(recv_lock_);
    take_count_ = 0;
  };
  auto after_handler = [this] {
    Locker recv(recv_lock_);
    max_taken_ = std::max(max_taken_, take_count_);
  };

  // Ends the notification whatever happened: purge what was removed meanwhile.
  auto finish = [this] {
    {
      Locker state(state_lock_);
      handlers_running_ = false;
      if (purge_pending_) {
        PurgeDeletedHandlers();
        purge_pending_ = false;
        RecomputeHandlerFlags(0);
      }
    }
    Locker recv(recv_lock_);
    take_count_ = 0;
  };

  bool result = true;
  bool stopped = false;
  try {
    for (std::size_t i = 0; !stopped; ++i) {
      MethodHandler h;
      {
        Locker state(state_lock_);
        if (i >= method_handlers_.size()) break;
        h = method_handlers_[i];
      }
      before_handler();
      if (!h.deleted) {
        if (h.synchronize) {
          TQorDispatcherThread::RunSynchronized(msg, wParam, lParam, h.method);
        } else {
          h.method.Code(h.method.Data, msg, wParam, lParam);
        }
      }
      if (close_pending_) stopped = true;
      after_handler();
    }
    for (std::size_t i = 0; !stopped; ++i) {
      ProcHandler h{};
      {
        Locker state(state_lock_);
        if (i >= proc_handlers_.size()) break;
        h = proc_handlers_[i];
      }
      before_handler();
      if (!h.deleted) h.proc(msg, wParam, lParam);
      if (close_pending_) stopped = true;
      after_handler();
    }
    bool windows_wanted = false;
    {
      Locker state(state_lock_);
      windows_wanted = window_handlers_.size() > 1 || port_wants_events_;
    }
    for (std::size_t i = 0; windows_wanted && !stopped; ++i) {
      WindowHandler h{};
      {
        Locker state(state_lock_);
        if (i >= window_handlers_.size()) break;
        h = window_handlers_[i];
      }
      before_handler();
      if (!h.deleted) {
        platform::SendMessageTimeout(h.window, msg, wParam, lParam, kWindowSendTimeoutMs, false,
                                     nullptr);
      }
      if (close_pending_) stopped = true;
      after_handler();
    }
    if (stopped) {
      result = false;
    } else if (consumes) {
      Locker recv(recv_lock_);
      in_avail_call_ = false;
      recv_tail_ = (recv_tail_ + max_taken_) % kRecvRingSize;
      if (max_taken_ > 0) recv_ring_full_ = false;
      if (msg == kMsgTriggerAvail && static_cast<std::uintptr_t>(max_taken_) != wParam) {
        result = false;
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return result;
}

}  // namespace qor
