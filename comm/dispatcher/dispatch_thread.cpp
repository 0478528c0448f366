// The dispatch thread: moves received data into the receive ring, runs the
// trigger checks and calls the handlers. Also the thread bookkeeping shared with
// the device layer's worker threads.
#include <algorithm>
#include <cstring>

#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/errors/check_result.hpp"
#include "comm/platform/clock.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor {

using platform::Locker;

namespace {

constexpr std::uint32_t kThreadAckWaitMs = 3000;
// While the receive ring is full, data waits in InputQueue; pause between passes
// instead of spinning until a reader makes room.
constexpr std::uint32_t kRingFullPauseMs = 2;

constexpr char kRingFullText[] = "Dispatch buffer full.";

}  // namespace

// ---------------------------------------------------------------- thread objects

TQorDispatcherThread::~TQorDispatcherThread() = default;

void TQorDispatcherThread::Start(platform::Priority priority) {
  thread_ = std::make_unique<platform::Thread>([this] { return Execute(); }, priority);
}

bool TQorDispatcherThread::RunSynchronized(std::uint32_t msg, std::uintptr_t wParam,
                                           std::intptr_t lParam, const TTriggerMethod& method) {
  return platform::RunInThread(platform::MainThreadQueue(), [&] {
    method.Code(method.Data, msg, wParam, lParam);
  });
}

class TDispThread final : public TQorDispatcherThread {
 public:
  using TQorDispatcherThread::TQorDispatcherThread;

 protected:
  int Execute() override {
    TQorBaseDispatcher& d = dispatcher_;
    d.ThreadStarted();
    try {
      d.DispatchLoop();
      d.ack_event_.Set();
    } catch (...) {
      platform::HandleCurrentException();
    }
    d.release_on_dispatch_exit_ = d.close_pending_ || d.kill_requested_;
    d.ThreadGone(this, 0);
    return 0;
  }
};

void TQorBaseDispatcher::ThreadStarted() {
  {
    Locker lock(state_lock_);
    platform::InterlockedIncrement(running_threads_);
    threads_gone_.Reset();
  }
  ack_event_.Set();
}

void TQorBaseDispatcher::ThreadGone(TQorDispatcherThread* thread, std::int32_t code) {
  if (code < 0) {
    try {
      CheckResult(owner_, code);
    } catch (...) {
      platform::HandleCurrentException();
    }
    // Every thread stops after a failure, timers and handlers included: an
    // engine waiting on this port would wait for ever unless its owner hears
    // of it and closes the port.
    device_failed_ = true;
    platform::WindowHandle window;
    {
      Locker lock(state_lock_);
      window = failure_window_;
    }
    if (window != platform::WindowHandle::None) {
      platform::PostMessage(window, kMsgDeviceFailed, static_cast<std::uintptr_t>(-code),
                            static_cast<std::intptr_t>(DispatcherHandle()) << 16);
    }
  }
  auto count_out = [this] {
    if (platform::InterlockedDecrement(running_threads_) == 0) {
      threads_started_ = false;
      threads_gone_.Set();
    }
  };
  bool release = false;
  {
    Locker lock(state_lock_);
    for (auto* slot : {&read_thread_, &dispatch_thread_, &write_thread_, &status_thread_}) {
      if (slot->get() != thread) continue;
      release = slot == &dispatch_thread_ && release_on_dispatch_exit_;
      retired_threads_.push_back(std::move(*slot));
    }
    // Retired and counted out in one step: a closer that finds the slot empty
    // takes the thread for gone, and must not find it still counted.
    if (!release) {
      count_out();
      return;
    }
  }
  // Counted out only after the release: Shutdown frees what it uses once the
  // count is zero.
  ReleasePort();
  release_on_dispatch_exit_ = false;
  Locker lock(state_lock_);
  count_out();
}

platform::Priority TQorBaseDispatcher::BoostedPriority(std::int32_t extra) const {
  const int level = static_cast<int>(platform::Priority::Normal) + priority_boost_ + extra;
  return static_cast<platform::Priority>(
      std::clamp(level, 0, static_cast<int>(platform::Priority::TimeCritical)));
}

void TQorBaseDispatcher::SetPriorityBoost(std::uint8_t boost) {
  Locker lock(state_lock_);
  if (boost == priority_boost_) return;
  priority_boost_ = boost;
  for (auto* slot : {&read_thread_, &dispatch_thread_, &status_thread_, &write_thread_}) {
    if (!*slot || (*slot)->Handle() == nullptr) continue;
    const bool rs485_writer = slot == &write_thread_ && rs485_mode_;
    (*slot)->Handle()->SetPriority(BoostedPriority(rs485_writer ? 1 : 0));
  }
}

TQorDispatcherThread* TQorBaseDispatcher::AdoptThread(
    std::unique_ptr<TQorDispatcherThread>& slot, std::unique_ptr<TQorDispatcherThread> thread) {
  TQorDispatcherThread* raw = nullptr;
  {
    Locker lock(state_lock_);
    slot = std::move(thread);
    raw = slot.get();
    raw->Start(BoostedPriority(0));
  }
  ack_event_.WaitFor(kThreadAckWaitMs);
  return raw;
}

void TQorBaseDispatcher::CreateDispatchThread() {
  AdoptThread(dispatch_thread_, std::make_unique<TDispThread>(*this));
}

bool TQorBaseDispatcher::WaitThreadGone(std::unique_ptr<TQorDispatcherThread>& slot,
                                        std::uint32_t ms) {
  platform::Thread* thread = nullptr;
  {
    Locker lock(state_lock_);
    if (!slot) return true;  // ThreadGone has retired it
    thread = slot->Handle();
  }
  if (thread == nullptr) return true;
  if (thread->Id() == platform::CurrentThreadId()) return false;
  // The thread object stays alive (in its slot or among the retired) until
  // Shutdown, which runs in this thread.
  return platform::WaitPumping(*thread, ms) == platform::PumpWaitResult::Signaled ||
         !thread->IsRunning();
}

// ---------------------------------------------------------------- the dispatch loop

void TQorBaseDispatcher::DispatchLoop() {
  do {
    WaitForInput(BeginDispatchWait());
    EndDispatchWait();
    if (kill_requested_) break;
    ProcessInputItem();
    CheckTimersAndStatus();
  } while (!kill_requested_ && !close_pending_);
}

void TQorBaseDispatcher::RunStatusTriggerLoop() {
  while (CheckStatusTriggers()) {
    if (close_pending_) return;
  }
}

void TQorBaseDispatcher::ProcessInputItem() {
  const std::unique_ptr<TStatusBuffer> status = input_queue_.PopStatus();
  current_event_ = status ? status->Status : 0;
  if ((current_event_ & (kEvRing | kEvRingTe)) != 0) {
    Locker lock(state_lock_);
    ring_seen_ = true;
  }
  if ((current_event_ & (kEvCts | kEvDsr | kEvRlsd | kEvRing | kEvRingTe)) != 0) {
    UpdateModemChanges();
    if (!handlers_running_) {
      RunStatusTriggerLoop();
      if (close_pending_) return;
      ResetStatusHits();
    }
  }
  if ((current_event_ & (kEvBreak | kEvErr)) != 0) {
    RefreshLineErrors();
    if (!handlers_running_) {
      RunStatusTriggerLoop();
      if (close_pending_) return;
      ResetStatusHits();
    }
  }

  if (FillRecvRing()) platform::Sleep(kRingFullPauseMs);  // let readers make room

  if (!handlers_running_) {
    ReadModemBits(0xF0);
    RunStatusTriggerLoop();
    if (close_pending_) return;
    while (CheckRecvTriggers()) {
      if (close_pending_) return;
    }
  }
  bool hit_seen = false;
  {
    Locker lock(state_lock_);
    hit_seen = status_hit_seen_;
  }
  if (hit_seen) ResetStatusHits();
}

bool TQorBaseDispatcher::FillRecvRing() {
  Locker lock(recv_lock_);
  if (recv_ring_.empty()) return false;
  if (recv_ring_full_) {
    AddLogEntry(dlkDispatch, dlsStatus, reinterpret_cast<const std::uint8_t*>(kRingFullText),
                sizeof kRingFullText - 1, 0);
    return true;
  }
  const std::int32_t n = QueuedInput();
  {
    Locker state(state_lock_);
    device_status_.InQueue = static_cast<std::uint32_t>(n);
  }
  if (n <= 0) return false;

  std::int32_t total = 0;
  std::int32_t contiguous = 0;
  if (recv_head_ == recv_tail_) {
    total = kRecvRingSize;
    contiguous = kRecvRingSize - recv_head_;
  } else if (recv_tail_ < recv_head_) {
    total = recv_tail_ + kRecvRingSize - recv_head_;
    contiguous = kRecvRingSize - recv_head_;
  } else {
    total = contiguous = recv_tail_ - recv_head_;
  }
  const std::int32_t take = std::min(total, n);
  std::int32_t second = contiguous < take ? take - contiguous : 0;

  auto take_part = [this](std::int32_t want) {
    std::int32_t got = TakeInput(recv_ring_.data() + recv_head_, want);
    if (got < 0) {
      got = 0;
      ReportDeviceError(-1);
    }
    AddLogEntry(dlkDispatch, dlsReadCom, recv_ring_.data() + recv_head_,
                static_cast<std::uint32_t>(got), static_cast<std::uint32_t>(got));
    recv_head_ = (recv_head_ + got) % kRecvRingSize;
    if (got > 0) {
      recv_ring_full_ = recv_head_ == recv_tail_;
      // New bytes are news even when the head went once round the ring and
      // stands where the last notification left it.
      avail_notified_at_ = -1;
    }
    return got;
  };
  const std::int32_t first_part = std::min(take, contiguous);
  if (take_part(first_part) < first_part) second = 0;
  if (second > 0) take_part(second);
  return false;
}

// ---------------------------------------------------------------- queue and ring helpers

std::int32_t TQorBaseDispatcher::TakeQueuedInput(std::uint8_t* buffer, std::int32_t count) {
  // A status event waits for the dispatch thread before any later data.
  return count <= 0 ? 0
                    : static_cast<std::int32_t>(
                          input_queue_.TakeLeadingData(buffer, static_cast<std::uint32_t>(count)));
}

std::int32_t TQorBaseDispatcher::QueuedDataBytes() {
  return static_cast<std::int32_t>(input_queue_.LeadingDataBytes());
}

std::int32_t TQorBaseDispatcher::SendRingPending() const {
  if (send_ring_full_) return out_size_;
  const std::int32_t n = send_head_ - send_tail_;
  return n < 0 ? n + out_size_ : n;
}

void TQorBaseDispatcher::PutSendRing(const std::uint8_t* bytes, std::int32_t count) {
  const std::int32_t room = out_size_ - send_head_;
  if (room < count) {
    std::memcpy(send_ring_.data() + send_head_, bytes, static_cast<std::size_t>(room));
    std::memcpy(send_ring_.data(), bytes + room, static_cast<std::size_t>(count - room));
    send_head_ = count - room;
  } else {
    std::memcpy(send_ring_.data() + send_head_, bytes, static_cast<std::size_t>(count));
    send_head_ += count;
    if (send_head_ == out_size_) send_head_ = 0;
  }
}

std::int32_t TQorBaseDispatcher::TakeSendRing(std::uint8_t* out, std::int32_t max) {
  std::int32_t taken = 0;
  while (taken < max && SendRingPending() > 0) {
    const std::int32_t run_end = send_head_ > send_tail_ ? send_head_ : out_size_;
    const std::int32_t k = std::min(max - taken, run_end - send_tail_);
    std::memcpy(out + taken, send_ring_.data() + send_tail_, static_cast<std::size_t>(k));
    taken += k;
    send_tail_ = (send_tail_ + k) % out_size_;
    send_ring_full_ = false;
  }
  return taken;
}

}  // namespace qor
