#include "comm/device/posix_dispatcher.hpp"

#include <algorithm>
#include <cerrno>

#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "comm/device/io_threads.hpp"
#include "comm/device/line_settings.hpp"
#include "comm/device/port_table.hpp"
#include "comm/device/rs485.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

using platform::Locker;

namespace {

constexpr std::uint32_t kFlushAckMs = 5000;
// Two waits of 36 ticks for the dispatch thread, whose handlers may be slow.
constexpr std::uint32_t kDispatchStopMs = 36 * 55;
// How often a closing port re-checks a stopping I/O thread (and re-sends the
// signal that ends a modem wait).
constexpr std::uint32_t kStopRetryMs = 20;

enum EscapeFunction : std::int32_t { kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6 };

}  // namespace

TQorPosixDispatcher::TQorPosixDispatcher(TQorBaseComponent* owner) : TQorBaseDispatcher(owner) {
  input_queue_.SetPushHook([this] { dispatch_wake_.Raise(); });
}

TQorPosixDispatcher::~TQorPosixDispatcher() { Shutdown(); }

// ---------------------------------------------------------------- open, close

std::int32_t TQorPosixDispatcher::OpenDevice(const std::string& name, std::int32_t, std::int32_t) {
  std::string path = name;
  if (PortNumberOf(name) > 0) {
    path = ResolveSerialPort(name);
    if (path.empty()) return -2;
  }
  Locker lock(device_lock_);
  if (fd_ >= 0) return -5;  // held: by this dispatcher
  const device::TOpenedDevice opened = device::OpenSerialDevice(path);
  if (opened.Fd < 0) return opened.Fd;
  opened_ = opened;
  fd_ = opened.Fd;
  no_modem_lines_ = false;
  shadow_ = {};
  kernel_rs485_ = false;
  rts_toggle_ = false;
  line_errors_.Start(opened.Fd);
  return opened.Fd;
}

void TQorPosixDispatcher::StartThreads() {
  {
    Locker lock(state_lock_);
    if (threads_started_) throw EQORException::CreateWithText("Dispatcher already started.");
    threads_started_ = true;
    kill_requested_ = false;
  }
  closing_ = false;
  failure_reported_ = false;
  flush_requested_ = false;
  stop_.Clear();
  write_wake_.Clear();
  dispatch_wake_.Clear();
  read_resume_.Clear();
  dispatch_reads_ = true;
  dispatch_idle_ = false;
  busy_since_ = platform::TimeGetTime();
  // Not under state_lock_: each new thread takes it to count itself in while
  // AdoptThread waits for its acknowledgement.
  AdoptThread(read_thread_, std::make_unique<TReadThread>(*this));
  CreateDispatchThread();
  AdoptThread(write_thread_, std::make_unique<TWriteThread>(*this));
  AdoptThread(status_thread_, std::make_unique<TStatusThread>(*this));
}

void TQorPosixDispatcher::StopThreads() {
  if (threads_started_) CloseDevice();
}

void TQorPosixDispatcher::CloseDevice() {
  {
    Locker lock(state_lock_);
    // A nested call, e.g. the ending dispatch thread releasing the port.
    if (close_guard_) return;
    close_guard_ = true;
  }
  // Whether or not ThreadsStarted still says so: a thread that failed at its
  // start may have cleared it while others run, and none may outlive the
  // descriptor.
  closing_ = true;
  RequestKill();
  WaitIoThreadGone(status_thread_, true);
  WaitIoThreadGone(write_thread_, false);
  WaitIoThreadGone(read_thread_, false);
  // Inside a notification the dispatch thread is waiting for the handler that
  // called us (or is this thread): it ends by itself once the notification
  // stops and releases the port then. Otherwise a dispatch thread that still
  // runs after both waits is left to end on its own; Shutdown waits for it
  // before anything is freed.
  if (!HandlersRunning() && !WaitThreadGone(dispatch_thread_, kDispatchStopMs)) {
    WaitThreadGone(dispatch_thread_, kDispatchStopMs);
  }
  {
    // A dispatch thread left to end on its own may be reading: not under it.
    std::lock_guard reading(read_mutex_);
    Locker lock(device_lock_);
    dispatch_waits_.Forget();
    if (fd_ >= 0) {
      // The next program to open the device expects input as it comes.
      if (read_minimum_.load() != 1) device::SetReadMinimum(fd_, 1);
      read_minimum_.store(1);
      SetRtsToggle(false);
      device::CloseSerialDevice(opened_);
      fd_ = -1;
    }
  }
  Locker lock(state_lock_);
  close_guard_ = false;
}

void TQorPosixDispatcher::WaitIoThreadGone(std::unique_ptr<TQorDispatcherThread>& slot,
                                           bool interrupt_modem_wait) {
  for (;;) {
    if (interrupt_modem_wait) modem_wait_.Interrupt();
    if (WaitThreadGone(slot, kStopRetryMs)) return;
  }
}

void TQorPosixDispatcher::RequestKill() {
  kill_requested_ = true;
  stop_.Raise();
  input_queue_.Wake();  // the dispatch thread, at once rather than at its next check
}

std::int32_t TQorPosixDispatcher::ThreadFailed(std::int32_t code) {
  const bool first = code != 0 && !closing_ && !failure_reported_.exchange(true);
  RequestKill();
  return first ? code : 0;
}

// ---------------------------------------------------------------- data

std::int32_t TQorPosixDispatcher::TakeInput(std::uint8_t* buffer, std::int32_t count) {
  return TakeQueuedInput(buffer, count);
}

std::int32_t TQorPosixDispatcher::PutOutput(const std::uint8_t* buffer, std::int32_t count) {
  bool all_written = false;
  // A single byte goes straight through only when nobody waits for the
  // output to drain: a sender that queues byte by byte against such a trigger
  // is better served by the writer's batching than by a system call and an
  // "output empty" event per byte. An answer of one byte (an acknowledgement)
  // then reaches the driver without a hand-over to the write thread.
  const bool through = count >= 2 || !OutputTriggerArmed();
  bool writer_busy = false;
  {
    Locker lock(send_lock_);
    const std::int32_t done = through ? WriteThrough(buffer, count) : 0;
    all_written = done == count;
    if (!all_written) {
      // Called with the free space tested for count: what is left is less
      // than a full ring unless nothing went out.
      send_ring_full_ = done == 0 && send_ring_full_;
      PutSendRing(buffer + done, count - done);
      // A writer with a block in hand takes the ring again, under this
      // lock, once the block is out: waking it would only have it try the
      // full driver once more.
      writer_busy = write_in_flight_ != 0;
    }
  }
  if (!all_written) {
    if (!writer_busy) write_wake_.Raise();
  } else if (OutputTriggerArmed()) {
    // The output is empty at once: the trigger that waits for that must not
    // wait for the dispatch thread's next periodic check.
    input_queue_.Push(std::make_unique<TStatusBuffer>(kEvTxEmpty));
  }
  return count;
}

std::int32_t TQorPosixDispatcher::WriteThrough(const std::uint8_t* buffer, std::int32_t count) {
  // Only while the write thread has nothing in hand, so that bytes keep
  // their order: a packet or an answer then reaches the driver without a
  // hand-over to another thread. What the driver does not take at once, and
  // any failure (which the write thread finds and reports), goes the usual
  // way through the ring.
  if (count < 1 || SendRingPending() != 0 || write_in_flight_ != 0 || rts_toggle_ ||
      flush_requested_ || kill_requested_ || !threads_started_) {
    return 0;
  }
  const int fd = fd_;
  std::int32_t done = 0;
  while (fd >= 0 && done < count) {
    const ssize_t n = ::write(fd, buffer + done, static_cast<std::size_t>(count - done));
    if (n > 0) {
      done += static_cast<std::int32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return done;
}

std::int32_t TQorPosixDispatcher::OutputPending() {
  Locker lock(send_lock_);
  return SendRingPending();
}

bool TQorPosixDispatcher::DeviceOutputDrained() {
  Locker lock(device_lock_);
  return fd_ < 0 || device::TransmitterEmpty(fd_);
}

std::int32_t TQorPosixDispatcher::PurgeDevice(std::int32_t queue) {
  auto flush = [this](int which) {
    Locker lock(device_lock_);
    if (fd_ < 0) return 0;
    // A pseudo-terminal's output is already the other end's input.
    if (which == TCOFLUSH && opened_.PseudoTerminal) return 1;
    return tcflush(fd_, which) == 0 ? 1 : 0;
  };
  if (queue == 1) {
    const std::int32_t result = flush(TCIFLUSH);
    input_queue_.Clear();
    return result;
  }
  if (queue != 0) return 0;
  platform::Thread* writer = nullptr;
  {
    Locker lock(state_lock_);
    if (write_thread_) writer = write_thread_->Handle();
  }
  if (writer == nullptr) return 0;
  {
    Locker lock(send_lock_);
    send_head_ = send_tail_ = 0;
    send_ring_full_ = false;
  }
  // The writer drops the block it is writing and acknowledges; only then is
  // the driver's queue cleared, so no byte of that block follows the flush.
  // A writer that ends instead (the port is closing) answers as well.
  ack_event_.Reset();
  flush_requested_ = true;
  write_wake_.Raise();
  platform::Waitable* answers[] = {&ack_event_, writer};
  platform::WaitForAny(answers, kFlushAckMs);
  const std::int32_t result = flush(TCOFLUSH);
  // The ring is empty now: a trigger that waits for room or for empty
  // output hears it as an event, not at a periodic look.
  if (OutputTriggerArmed()) input_queue_.Push(std::make_unique<TStatusBuffer>(kEvTxEmpty));
  return result;
}

// ---------------------------------------------------------------- line state

std::int32_t TQorPosixDispatcher::GetDeviceState(TDeviceControlBlock& dcb) {
  Locker lock(device_lock_);
  if (fd_ < 0) return -1;
  TDeviceControlBlock now = shadow_;
  if (device::ReadLineSettings(fd_, now) != 0) return -1;
  dcb = now;
  return 0;
}

std::int32_t TQorPosixDispatcher::SetDeviceState(const TDeviceControlBlock& dcb) {
  Locker lock(device_lock_);
  if (fd_ < 0) return -6;
  const std::int32_t result = device::WriteLineSettings(fd_, dcb);
  shadow_ = device::WithoutUnsupportedFlags(dcb);
  idle_standby_ms_.store(IdleStandByMs(dcb.BaudRate));
  SetRtsToggle(((dcb.Flags & kDcbRtsControlMask) >> kDcbRtsControlShift) == lcToggle);
  return result;
}

std::uint32_t TQorPosixDispatcher::IdleStandByMs(std::uint32_t baud) {
  constexpr std::uint64_t kQuarterOfTheTtyBufferBits = 16384 * 10;
  if (baud == 0) return kIdleStandByMs;
  const std::uint64_t ms = kQuarterOfTheTtyBufferBits * 1000 / baud;
  return static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(ms, kIdleStandByMs, kLongestIdleStandByMs));
}

void TQorPosixDispatcher::SetRtsToggle(bool on) {
  if (on == (kernel_rs485_ || rts_toggle_)) return;
  if (on) {
    kernel_rs485_ = device::SetKernelRs485(fd_, true);
    rts_toggle_ = !kernel_rs485_;
    if (rts_toggle_) device::SetModemLines(fd_, TIOCM_RTS, false);  // idle: receive
  } else {
    if (kernel_rs485_) device::SetKernelRs485(fd_, false);
    kernel_rs485_ = false;
    rts_toggle_ = false;
  }
}

std::int32_t TQorPosixDispatcher::DeviceEscape(std::int32_t function) {
  Locker lock(device_lock_);
  if (fd_ < 0) return 0;
  // A device without modem lines (a pseudo-terminal) ignores these, as a
  // serial driver ignores lines that are not wired.
  switch (function) {
    case kSetRts: device::SetModemLines(fd_, TIOCM_RTS, true); break;
    case kClrRts: device::SetModemLines(fd_, TIOCM_RTS, false); break;
    case kSetDtr: device::SetModemLines(fd_, TIOCM_DTR, true); break;
    case kClrDtr: device::SetModemLines(fd_, TIOCM_DTR, false); break;
    default: break;
  }
  return 0;
}

std::uint8_t TQorPosixDispatcher::DeviceModemStatus() {
  Locker lock(device_lock_);
  // Asked on every pass of the dispatch thread: a device without modem
  // lines (a pseudo-terminal) is not asked again after its first answer.
  if (fd_ < 0 || no_modem_lines_) return 0;
  const std::optional<std::uint8_t> lines = device::ReadModemLines(fd_);
  if (!lines && (errno == ENOTTY || errno == EINVAL)) no_modem_lines_ = true;
  return lines.value_or(0);
}

void TQorPosixDispatcher::DeviceBreak(bool on) {
  Locker lock(device_lock_);
  if (fd_ >= 0) ioctl(fd_, on ? TIOCSBRK : TIOCCBRK);
}

std::uint32_t TQorPosixDispatcher::ReadDeviceErrors(TDeviceStatus& status) {
  std::uint32_t errors = 0;
  if (line_errors_.Supported()) {
    Locker lock(device_lock_);
    if (fd_ >= 0) errors = line_errors_.Take(fd_);
  }
  status.Errors = errors;
  // What waits in InputQueue; bytes still in the driver are read as soon as
  // the dispatch thread waits for work. Asked on every output check, this
  // costs no system call.
  status.InQueue = static_cast<std::uint32_t>(QueuedDataBytes());
  status.OutQueue = static_cast<std::uint32_t>(OutputPending());
  return errors;
}

bool TQorPosixDispatcher::ReservedQuery(std::int32_t& value) {
  value = 0;
  return true;
}

std::int32_t TQorPosixDispatcher::YieldDevice() {
  sched_yield();
  return 0;
}

}  // namespace qor
