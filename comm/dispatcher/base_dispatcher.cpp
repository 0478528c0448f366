#include "comm/dispatcher/base_dispatcher.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "comm/dispatcher/dispatcher_registry.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

using platform::Locker;

TQorBaseDispatcher::TQorBaseDispatcher(TQorBaseComponent* owner) : owner_(owner) {
  handle_ = DispatcherRegistry::Register(this);
}

TQorBaseDispatcher::~TQorBaseDispatcher() { DispatcherRegistry::Unregister(handle_); }

// ---------------------------------------------------------------- open, close

std::int32_t TQorBaseDispatcher::OpenPort(const std::string& device_name, std::int32_t baud,
                                          std::uint8_t parity, std::uint8_t data_bits,
                                          std::uint8_t stop_bits, std::int32_t in_size,
                                          std::int32_t out_size, std::uint32_t options) {
  {
    Locker lock(state_lock_);
    ring_seen_ = false;
    handlers_running_ = false;
    purge_pending_ = false;
  }
  ack_event_.Reset();

  errno = 0;
  const std::int32_t opened = OpenDevice(device_name, in_size, out_size);
  if (opened < 0) {
    ClosePort();
    return opened == -8 ? -8 : opened;
  }
  device_open_ = true;
  errno = 0;
  if (!SetupDevice(in_size, out_size)) {
    const std::int32_t error = errno != 0 ? -errno : -5;
    ClosePort();
    return error;
  }

  {
    Locker lock(recv_lock_);
    recv_ring_.assign(kRecvRingSize, 0);
    recv_ring_full_ = false;
    take_count_ = 0;
  }
  {
    Locker lock(send_lock_);
    send_ring_.assign(static_cast<std::size_t>(out_size > 0 ? out_size : 0), 0);
    send_head_ = send_tail_ = 0;
    send_ring_full_ = false;
  }
  {
    Locker lock(state_lock_);
    in_size_ = in_size;
    out_size_ = out_size;
    line_error_bits_ = 0;
    rs485_mode_ = false;
    GetDeviceState(dcb_);
  }
  sent_flag_ = false;
  close_pending_ = false;

  if ((options & kOpenDtrByFlow) != 0) {
    Locker lock(state_lock_);
    dtr_by_flow_ = true;
  } else {
    {
      Locker lock(state_lock_);
      dtr_by_flow_ = false;
    }
    SetDtr((options & kOpenDtrOn) != 0);
  }
  if ((options & kOpenRtsByFlow) != 0) {
    Locker lock(state_lock_);
    rts_by_flow_ = true;
  } else {
    {
      Locker lock(state_lock_);
      rts_by_flow_ = false;
    }
    SetRts((options & kOpenRtsOn) != 0);
  }

  ClearTriggers();
  ResetInputState();
  ResetStatusHits();
  {
    Locker lock(state_lock_);
    modem_bits_ = 0;
  }
  ReadModemBits(0xF0);
  {
    Locker lock(state_lock_);
    current_baud_ = 115200;
  }

  const std::int32_t line = SetLineParams(baud, parity, data_bits, stop_bits);
  if (line < 0) {
    ClosePort();
    return line;
  }
  RefreshLineErrors();
  StopTrace();
  StopLog();
  log_time_base_ = platform::TimeGetTime();

  StartThreads();
  return 0;
}

std::int32_t TQorBaseDispatcher::SetDeviceQueueSizes(std::int32_t in_size, std::int32_t out_size) {
  errno = 0;
  if (SetupDevice(in_size, out_size)) return 0;
  return errno != 0 ? -errno : -5;
}

void TQorBaseDispatcher::ResetInputState() {
  Locker lock(recv_lock_);
  scan_pos_ = 0;
  recv_head_ = recv_tail_ = 0;
  avail_notified_at_ = 0;
  in_avail_call_ = false;
}

void TQorBaseDispatcher::ClosePort() {
  if (device_open_) {
    PurgeOutput();
    PurgeInput();
    CloseDevice();
    device_open_ = false;
  }
  if (handlers_running_) {
    close_pending_ = true;
  } else {
    ReleasePort();
  }
}

void TQorBaseDispatcher::ReleasePort() {
  release_on_dispatch_exit_ = false;
  if (threads_started_) StopThreads();
  {
    Locker lock(send_lock_);
    send_ring_.clear();
    send_ring_.shrink_to_fit();
    send_head_ = send_tail_ = 0;
    send_ring_full_ = false;
  }
  Locker lock(recv_lock_);
  recv_ring_.clear();
  recv_ring_.shrink_to_fit();
  recv_head_ = recv_tail_ = 0;
  recv_ring_full_ = false;
}

void TQorBaseDispatcher::Shutdown() {
  if (close_pending_) {
    ReleasePort();
  } else {
    ClosePort();
  }
  // A quit message stays queued for the loop above; after it, wait without
  // handling messages.
  bool pumping = true;
  while (running_threads_ > 0) {
    if (pumping) {
      pumping = platform::WaitPumping(threads_gone_, 100) != platform::PumpWaitResult::Quit;
    } else {
      threads_gone_.WaitFor(100);
    }
  }
  std::vector<std::unique_ptr<TQorDispatcherThread>> ended;
  {
    Locker lock(state_lock_);
    ended.swap(retired_threads_);
    for (auto* slot : {&read_thread_, &dispatch_thread_, &write_thread_, &status_thread_}) {
      if (*slot) ended.push_back(std::move(*slot));
    }
  }
  ended.clear();  // joins: every body has returned or is returning
}

// ---------------------------------------------------------------- line control

std::int32_t TQorBaseDispatcher::BitsPerSecond(std::int32_t baud) {
  static constexpr std::int32_t kLegacyRates[24] = {110,   300,   600,   1200, 2400, 4800,
                                                    9600,  14400, 19200, 0,    0,    38400,
                                                    0,     0,     0,     56000, 0,   0,
                                                    0,     128000, 0,    0,    0,    256000};
  if (baud == 0xFEFF) return 115200;
  if (baud >= 0xFF10 && baud < 0xFF10 + 24 && kLegacyRates[baud - 0xFF10] != 0) {
    return kLegacyRates[baud - 0xFF10];
  }
  return baud;
}

std::int32_t TQorBaseDispatcher::SetLineParams(std::int32_t baud, std::uint8_t parity,
                                               std::uint8_t data_bits, std::uint8_t stop_bits) {
  TDeviceControlBlock want;
  {
    Locker lock(state_lock_);
    GetDeviceState(dcb_);
    want = dcb_;
    want.Flags |= kDcbBinary | kDcbTXContinueOnXoff;
    want.Flags &= ~(kDcbParity | kDcbDsrSensitivity | kDcbNull);
    if (baud != 0) want.BaudRate = static_cast<std::uint32_t>(baud);
    if (parity != 5) want.Parity = parity;
    if (data_bits != 9) {
      want.ByteSize = data_bits;
      if (data_bits == 5) want.StopBits = 1;
    }
    if (stop_bits != 3) {
      const std::uint8_t stops = stop_bits == 0 ? 1 : (stop_bits > 3 ? 2 : stop_bits);
      want.StopBits = stops == 1 ? 0 : 2;
      if (want.ByteSize == 5) want.StopBits = 1;
    }
    if (want.BaudRate == dcb_.BaudRate && want.Parity == dcb_.Parity &&
        want.ByteSize == dcb_.ByteSize && want.StopBits == dcb_.StopBits &&
        want.Flags == dcb_.Flags) {
      return 0;
    }
  }
  WaitOutputDrained();
  Locker lock(state_lock_);
  GetDeviceState(dcb_);
  dcb_.BaudRate = want.BaudRate;
  dcb_.Parity = want.Parity;
  dcb_.ByteSize = want.ByteSize;
  dcb_.StopBits = want.StopBits;
  dcb_.Flags = want.Flags;
  return WriteControlBlock(dcb_);
}

void TQorBaseDispatcher::WaitOutputDrained() {
  for (int i = 0; i < 5000 && OutputUsed() > 0; ++i) platform::Sleep(2);
  std::int64_t bits = 0;
  std::int32_t bps = 0;
  {
    Locker lock(state_lock_);
    GetDeviceState(dcb_);
    bits = dcb_.ByteSize + 2 + (dcb_.Parity != 0 ? 1 : 0) + (dcb_.StopBits != 0 ? 1 : 0);
    bps = BitsPerSecond(current_baud_);
  }
  if (bps <= 0) return;
  // 18 character times in units of 100 ns, doubled when very short.
  std::int64_t t = (10000000 / bps) * bits * 18;
  if (t < 10000) t *= 2;
  platform::Sleep(static_cast<std::uint32_t>((t + 9999) / 10000));
}

std::int32_t TQorBaseDispatcher::WriteControlBlock(TDeviceControlBlock& dcb) {
  Locker lock(state_lock_);
  if (!dtr_by_flow_) {
    dcb.Flags = (dcb.Flags & ~kDcbDtrControlMask) |
                ((dtr_state_ ? lcEnable : lcDisable) << kDcbDtrControlShift);
  }
  if (!rts_by_flow_) {
    dcb.Flags = (dcb.Flags & ~kDcbRtsControlMask) |
                ((rts_state_ ? lcEnable : lcDisable) << kDcbRtsControlShift);
  }
  const std::int32_t result = SetDeviceState(dcb);
  current_baud_ = static_cast<std::int32_t>(dcb.BaudRate);
  SetDtr(dtr_state_);
  if (!rs485_mode_) SetRts(rts_state_);
  return result;
}

void TQorBaseDispatcher::GetLineParams(std::int32_t& baud, std::uint8_t& parity,
                                       std::uint8_t& data_bits, std::uint8_t& stop_bits) {
  Locker lock(state_lock_);
  GetDeviceState(dcb_);
  baud = BitsPerSecond(static_cast<std::int32_t>(dcb_.BaudRate));
  parity = dcb_.Parity;
  data_bits = dcb_.ByteSize;
  stop_bits = dcb_.StopBits == 0 ? 1 : 2;
}

std::int32_t TQorBaseDispatcher::CurrentBaud() {
  Locker lock(state_lock_);
  return current_baud_;
}

std::int32_t TQorBaseDispatcher::SetDtr(bool on) {
  Locker lock(state_lock_);
  if (dtr_by_flow_) return 1;
  const std::int32_t result = DeviceEscape(on ? 5 : 6);
  dtr_state_ = on;
  return result < 0 ? -1002 : result;
}

std::int32_t TQorBaseDispatcher::SetRts(bool on) {
  Locker lock(state_lock_);
  if (rts_by_flow_) return 1;
  const std::int32_t result = DeviceEscape(on ? 3 : 4);
  rts_state_ = on;
  return result < 0 ? -1002 : result;
}

std::int32_t TQorBaseDispatcher::SetHWFlow(std::int32_t buffer_full, std::int32_t buffer_resume,
                                           std::uint32_t options) {
  if (buffer_full < buffer_resume || buffer_full > in_size_) return -1002;
  Locker lock(state_lock_);
  dcb_.Flags &= ~(kDcbDtrControlMask | kDcbRtsControlMask | kDcbOutxCtsFlow | kDcbOutxDsrFlow);
  dtr_by_flow_ = rts_by_flow_ = false;
  if ((options & hwfUseDTR) != 0) {
    dcb_.Flags |= lcHandshake << kDcbDtrControlShift;
    dtr_by_flow_ = true;
  } else if (dtr_state_) {
    dcb_.Flags |= lcEnable << kDcbDtrControlShift;
  }
  if ((options & hwfUseRTS) != 0) {
    dcb_.Flags |= lcHandshake << kDcbRtsControlShift;
    rts_by_flow_ = true;
  } else if (rts_state_) {
    dcb_.Flags |= lcEnable << kDcbRtsControlShift;
  }
  if (rs485_mode_) {
    dcb_.Flags = (dcb_.Flags & ~kDcbRtsControlMask) | (lcToggle << kDcbRtsControlShift);
    rts_by_flow_ = true;
  }
  dcb_.XoffLim = static_cast<std::uint16_t>(in_size_ - buffer_full);
  dcb_.XonLim = static_cast<std::uint16_t>(buffer_resume);
  if ((options & hwfRequireDSR) != 0) dcb_.Flags |= kDcbOutxDsrFlow;
  if ((options & hwfRequireCTS) != 0) dcb_.Flags |= kDcbOutxCtsFlow;
  return WriteControlBlock(dcb_);
}

std::int32_t TQorBaseDispatcher::EnableSWFlow(std::int32_t buffer_full,
                                              std::int32_t buffer_resume, std::uint32_t options) {
  if (buffer_full < buffer_resume || buffer_full > in_size_) return -1002;
  Locker lock(state_lock_);
  if ((options & kSwFlowReceive) != 0) {
    dcb_.Flags |= kDcbInX;
    dcb_.XoffLim = static_cast<std::uint16_t>(in_size_ - buffer_full);
    dcb_.XonLim = static_cast<std::uint16_t>(buffer_resume);
    dcb_.XonChar = 17;
    dcb_.XoffChar = 19;
  }
  if ((options & kSwFlowTransmit) != 0) {
    dcb_.Flags |= kDcbOutX;
    dcb_.XonChar = 17;
    dcb_.XoffChar = 19;
  }
  return WriteControlBlock(dcb_);
}

std::int32_t TQorBaseDispatcher::DisableSWFlow() {
  Locker lock(state_lock_);
  dcb_.Flags &= ~(kDcbInX | kDcbOutX);
  return WriteControlBlock(dcb_);
}

std::int32_t TQorBaseDispatcher::SetFlowChars(std::uint8_t xon, std::uint8_t xoff) {
  Locker lock(state_lock_);
  dcb_.XonChar = xon;
  dcb_.XoffChar = xoff;
  return WriteControlBlock(dcb_);
}

void TQorBaseDispatcher::GetFlowOptions(std::uint32_t& hw_options, std::uint32_t& sw_options,
                                        std::uint8_t& xon, std::uint8_t& xoff) {
  Locker lock(state_lock_);
  hw_options = 0;
  if (((dcb_.Flags & kDcbDtrControlMask) >> kDcbDtrControlShift) == lcHandshake) hw_options |= hwfUseDTR;
  if (((dcb_.Flags & kDcbRtsControlMask) >> kDcbRtsControlShift) == lcHandshake) hw_options |= hwfUseRTS;
  if ((dcb_.Flags & kDcbOutxDsrFlow) != 0) hw_options |= hwfRequireDSR;
  if ((dcb_.Flags & kDcbOutxCtsFlow) != 0) hw_options |= hwfRequireCTS;
  sw_options = 0;
  if ((dcb_.Flags & kDcbInX) != 0) sw_options |= kSwFlowReceive;
  if ((dcb_.Flags & kDcbOutX) != 0) sw_options |= kSwFlowTransmit;
  xon = dcb_.XonChar;
  xoff = dcb_.XoffChar;
}

void TQorBaseDispatcher::SetOptionBits(std::uint32_t bits) {
  Locker lock(state_lock_);
  option_bits_ |= bits;
}

void TQorBaseDispatcher::ClearOptionBits(std::uint32_t bits) {
  Locker lock(state_lock_);
  option_bits_ &= ~bits;
}

std::uint32_t TQorBaseDispatcher::OptionBits() {
  Locker lock(state_lock_);
  return option_bits_;
}

bool TQorBaseDispatcher::RS485Mode() {
  Locker lock(state_lock_);
  return rs485_mode_;
}

void TQorBaseDispatcher::SetRS485(bool on) {
  Locker lock(state_lock_);
  rs485_mode_ = on;
  if (write_thread_ && write_thread_->Handle() != nullptr) {
    write_thread_->Handle()->SetPriority(BoostedPriority(on ? 1 : 0));
  }
}

// ---------------------------------------------------------------- modem and line errors

std::uint8_t TQorBaseDispatcher::ReadModemBits(std::uint8_t keep_mask) {
  const std::uint8_t lines = DeviceModemStatus() & 0xF0;
  Locker lock(state_lock_);
  modem_bits_ = static_cast<std::uint8_t>(lines | (modem_bits_ & 0x0F));
  if (ring_seen_) {
    ring_seen_ = false;
    modem_bits_ |= 0x04;
  }
  const std::uint8_t result = modem_bits_;
  modem_bits_ &= keep_mask;
  return result;
}

void TQorBaseDispatcher::UpdateModemChanges() {
  std::uint8_t old = 0;
  {
    Locker lock(state_lock_);
    old = modem_bits_;
  }
  const std::uint8_t now = ReadModemBits(0xFF);
  Locker lock(state_lock_);
  modem_bits_ |= static_cast<std::uint8_t>(((now ^ old) & 0xF0) >> 4);
}

void TQorBaseDispatcher::RefreshLineErrors() {
  TDeviceStatus status;
  const std::uint32_t errors = ReadDeviceErrors(status);
  Locker lock(state_lock_);
  line_error_bits_ |= errors & 0x1F;
  device_status_ = status;
}

std::int32_t TQorBaseDispatcher::TakeLineError() {
  static constexpr struct {
    std::uint32_t bit;
    std::int32_t code;
  } kOrder[] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 9}};
  Locker lock(state_lock_);
  for (const auto& e : kOrder) {
    if ((line_error_bits_ & e.bit) != 0) {
      line_error_bits_ &= ~0x0Fu;  // the break bit stays for TakeLineBreak
      return e.code;
    }
  }
  return 0;
}

bool TQorBaseDispatcher::TakeLineBreak() {
  Locker lock(state_lock_);
  const bool seen = (line_error_bits_ & 16) != 0;
  line_error_bits_ &= ~16u;
  return seen;
}

void TQorBaseDispatcher::SendBreak(std::int32_t ticks, bool pump) {
  const bool rs485 = RS485Mode();
  if (rs485) SetRts(true);
  DeviceBreak(true);
  const std::uint32_t ms = static_cast<std::uint32_t>(ticks > 0 ? ticks : 0) * 55;
  if (pump) {
    platform::Event never(true, false);
    const std::uint32_t start = platform::TimeGetTime();
    for (;;) {
      const std::uint32_t elapsed = platform::TimeGetTime() - start;
      if (elapsed >= ms) break;
      if (platform::WaitPumping(never, ms - elapsed) != platform::PumpWaitResult::Timeout) break;
    }
  } else {
    platform::Sleep(ms);
  }
  DeviceBreak(false);
  if (rs485 && OutputUsed() == 0) SetRts(false);
}

// ---------------------------------------------------------------- data

std::int32_t TQorBaseDispatcher::UnreadLocked() const {
  if (recv_ring_full_) return kRecvRingSize;
  const std::int32_t n = recv_head_ - recv_tail_;
  return n < 0 ? n + kRecvRingSize : n;
}

bool TQorBaseDispatcher::HasInput() {
  Locker lock(recv_lock_);
  if (!in_avail_call_) return recv_head_ != recv_tail_ || recv_ring_full_;
  return (recv_tail_ + take_count_) % kRecvRingSize != recv_head_ ||
         (recv_ring_full_ && take_count_ < kRecvRingSize);
}

std::int32_t TQorBaseDispatcher::PeekInput(std::uint8_t& byte, std::int32_t n) {
  Locker lock(recv_lock_);
  if (n < 1 || UnreadLocked() < n) return -3007;
  byte = recv_ring_[static_cast<std::size_t>((recv_tail_ + n - 1) % kRecvRingSize)];
  return 0;
}

std::int32_t TQorBaseDispatcher::ReadInputChar(std::uint8_t& byte) {
  Locker lock(recv_lock_);
  if (in_avail_call_) {
    ++take_count_;
    if (take_count_ > UnreadLocked()) {
      --take_count_;
      return -3007;
    }
    byte = recv_ring_[static_cast<std::size_t>((recv_tail_ + take_count_ - 1) % kRecvRingSize)];
  } else {
    if (UnreadLocked() == 0) return -3007;
    byte = recv_ring_[static_cast<std::size_t>(recv_tail_)];
    recv_tail_ = (recv_tail_ + 1) % kRecvRingSize;
    recv_ring_full_ = false;
  }
  if (tracing_) AddTraceEntry('R', byte);
  return 0;
}

std::int32_t TQorBaseDispatcher::CopyWaitingInput(std::uint8_t* out, std::int32_t max) {
  Locker lock(recv_lock_);
  const std::int32_t taken = in_avail_call_ ? take_count_ : 0;
  const std::int32_t n = std::min(max, UnreadLocked() - taken);
  const std::int32_t from = (recv_tail_ + taken) % kRecvRingSize;
  for (std::int32_t i = 0; i < n;) {
    const std::int32_t at = (from + i) % kRecvRingSize;
    const std::int32_t run = std::min(n - i, kRecvRingSize - at);
    std::memcpy(out + i, recv_ring_.data() + at, static_cast<std::size_t>(run));
    i += run;
  }
  return std::max(n, 0);
}

void TQorBaseDispatcher::TakeWaitingInput(std::int32_t n) {
  Locker lock(recv_lock_);
  const std::int32_t taken = in_avail_call_ ? take_count_ : 0;
  n = std::min(n, UnreadLocked() - taken);
  if (n <= 0) return;
  const std::int32_t from = (recv_tail_ + taken) % kRecvRingSize;
  if (tracing_) {
    for (std::int32_t i = 0; i < n; ++i) {
      AddTraceEntry('R', recv_ring_[static_cast<std::size_t>((from + i) % kRecvRingSize)]);
    }
  }
  if (in_avail_call_) {
    take_count_ += n;
  } else {
    recv_tail_ = (recv_tail_ + n) % kRecvRingSize;
    recv_ring_full_ = false;
  }
}

std::int32_t TQorBaseDispatcher::TakeInputChars(std::uint8_t* out, std::int32_t max) {
  Locker lock(recv_lock_);  // recursive: the two steps see the same bytes
  const std::int32_t n = CopyWaitingInput(out, max);
  TakeWaitingInput(n);
  return n;
}

std::int32_t TQorBaseDispatcher::WriteBlock(const std::uint8_t* bytes, std::int32_t count) {
  if (count <= 0) return 0;
  std::int32_t result = 0;
  std::int32_t n = 0;
  {
    Locker lock(send_lock_);
    if (send_ring_.empty()) return -3006;  // released: no room at all
    const std::int32_t free = out_size_ - OutputPending();
    if (free < count) return -3006;
    if (free == count) send_ring_full_ = true;
    n = PutOutput(bytes, count);
    if (n <= 0) {
      TDeviceStatus status;
      const std::uint32_t errors = ReadDeviceErrors(status);
      Locker state(state_lock_);
      line_error_bits_ = errors;
      result = -3004;
      n = -n;
    }
    sent_flag_ = true;
  }
  Locker lock(state_lock_);
  AddLogEntry(dlkDispatch, dlsWriteCom, bytes, static_cast<std::uint32_t>(n),
              static_cast<std::uint32_t>(n));
  if (tracing_) {
    for (std::int32_t i = 0; i < n; ++i) AddTraceEntry('T', bytes[i]);
  }
  return result;
}

std::int32_t TQorBaseDispatcher::InputUsed() {
  Locker lock(recv_lock_);
  return UnreadLocked() - (in_avail_call_ ? take_count_ : 0);
}

std::int32_t TQorBaseDispatcher::InputFree() {
  Locker lock(recv_lock_);
  return kRecvRingSize - UnreadLocked() + (in_avail_call_ ? take_count_ : 0);
}

std::int32_t TQorBaseDispatcher::OutputUsed() {
  std::int32_t used = 0, free = 0;
  OutputCounts(used, free);
  return used;
}

std::int32_t TQorBaseDispatcher::OutputFree() {
  std::int32_t used = 0, free = 0;
  OutputCounts(used, free);
  return free;
}

void TQorBaseDispatcher::OutputCounts(std::int32_t& used, std::int32_t& free) {
  Locker lock(send_lock_);
  RefreshLineErrors();
  const std::int32_t pending = OutputPending();
  // A block the write thread holds counts as used until the driver has it,
  // so that a wait for empty output (before a close, a line change or an
  // engine's end) does not end while the last bytes are still ours to lose.
  used = pending + OutputInFlight();
  free = out_size_ - pending;  // room in the ring
}

std::int32_t TQorBaseDispatcher::PurgeInput() {
  Locker lock(recv_lock_);
  const std::int32_t result = PurgeDevice(1);
  // Inside a notification too the bytes go at once: counting them as taken
  // at its end left them readable (and announced by HasInput) for the rest
  // of it, and with a full ring HasInput said yes while nothing could be read.
  // What the handlers read so far is gone with the rest.
  recv_tail_ = recv_head_;
  take_count_ = 0;
  max_taken_ = 0;
  recv_ring_full_ = false;
  // Nor may a data trigger match them: bytes the trigger scan has not reached
  // yet are skipped, also by a scan that this purge interrupts (a handler's).
  scan_pos_ = recv_head_;
  ++input_purges_;
  Locker state(state_lock_);
  for (TDataTrigger& t : data_triggers_) t.Cursors.fill(0);
  return result;
}

std::int32_t TQorBaseDispatcher::SetUserSlot(void* pointer, std::int32_t index) {
  if (index < 1 || index > 3) return -1002;
  Locker lock(state_lock_);
  user_slots_[static_cast<std::size_t>(index - 1)] = pointer;
  return 0;
}

std::int32_t TQorBaseDispatcher::GetUserSlot(void*& pointer, std::int32_t index) {
  if (index < 1 || index > 3) return -1002;
  Locker lock(state_lock_);
  pointer = user_slots_[static_cast<std::size_t>(index - 1)];
  return 0;
}

}  // namespace qor
