// Property setters: stored while closed, applied to the dispatcher while open.
#include <algorithm>

#include "comm/comport/com_port.hpp"
#include "comm/errors/check_result.hpp"

namespace qor {

namespace {

std::uint32_t SoftwareFlowMask(TSWFlowOptions options) {
  switch (options) {
    case swfReceive:
      return 2;
    case swfTransmit:
      return 1;
    case swfBoth:
      return 3;
    case swfNone:
      break;
  }
  return 0;
}

}  // namespace

std::int32_t TQorCustomComPort::Check(std::int32_t code) { return CheckResult(this, code); }

void TQorCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
  // Only the native serial layer is accepted, and never while open.
  if (open_ || layer != dlWin32) return;
  device_layer_ = layer;
}

void TQorCustomComPort::ApplyLineParams() {
  if (!dispatcher_ || open_state_ != cpsOpen) return;
  Check(dispatcher_->SetLineParams(baud_, parity_, static_cast<std::uint8_t>(data_bits_),
                                   static_cast<std::uint8_t>(stop_bits_)));
}

void TQorCustomComPort::SetBaud(std::int32_t baud) {
  if (baud == baud_ && !force_apply_) return;
  baud_ = baud;
  ApplyLineParams();
}

void TQorCustomComPort::SetParity(TParity parity) {
  if (parity == parity_ && !force_apply_) return;
  parity_ = parity;
  ApplyLineParams();
}

void TQorCustomComPort::SetDataBits(std::uint16_t bits) {
  if (bits == data_bits_ && !force_apply_) return;
  data_bits_ = bits;
  ApplyLineParams();
}

void TQorCustomComPort::SetStopBits(std::uint16_t bits) {
  if (bits == stop_bits_ && !force_apply_) return;
  stop_bits_ = bits;
  ApplyLineParams();
}

void TQorCustomComPort::ApplyBufferSizes() {
  if (!dispatcher_ || open_state_ != cpsOpen) return;
  Check(dispatcher_->SetDeviceQueueSizes(in_size_, out_size_));
}

void TQorCustomComPort::SetInSize(std::uint16_t size) {
  if (size == in_size_ && !force_apply_) return;
  in_size_ = size;
  ApplyBufferSizes();
}

void TQorCustomComPort::SetOutSize(std::uint16_t size) {
  if (size == out_size_ && !force_apply_) return;
  out_size_ = size;
  ApplyBufferSizes();
}

void TQorCustomComPort::SetDTR(bool on) {
  if (on == dtr_ && !force_apply_) return;
  if (dispatcher_ && open_state_ == cpsOpen) {
    if (Check(dispatcher_->SetDtr(on)) == 0) dtr_ = on;
  } else {
    dtr_ = on;
  }
}

void TQorCustomComPort::SetRTS(bool on) {
  if (on == rts_ && !force_apply_) return;
  if (dispatcher_ && open_state_ == cpsOpen) {
    if (Check(dispatcher_->SetRts(on)) == 0) rts_ = on;
  } else {
    rts_ = on;
  }
}

void TQorCustomComPort::SetHWFlowOptions(THWFlowOptionSet options) {
  if (options == hw_flow_ && !force_apply_) return;
  const std::uint32_t mask = options & (hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS);
  if (mask != 0) {
    if (buffer_full_ == 0 || buffer_full_ > in_size_) {
      buffer_full_ = static_cast<std::uint16_t>(in_size_ * 9 / 10);
    }
    if (buffer_resume_ == 0 || buffer_resume_ > buffer_full_) {
      buffer_resume_ = static_cast<std::uint16_t>(in_size_ / 10);
    }
  }
  if (dispatcher_ && open_state_ == cpsOpen) {
    Check(dispatcher_->SetHWFlow(buffer_full_, buffer_resume_, mask));
  }
  hw_flow_ = options;
  // RTS cannot both drive the RS-485 transmitter and flow control.
  if ((options & (hwfUseRTS | hwfRequireCTS)) != 0) SetRS485Mode(false);
}

void TQorCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
  if (options == sw_flow_ && !force_apply_) return;
  const std::uint32_t mask = SoftwareFlowMask(options);
  if (mask != 0) {
    if (buffer_full_ == 0 || buffer_full_ > in_size_) {
      buffer_full_ = static_cast<std::uint16_t>(in_size_ * 3 / 4);
    }
    if (buffer_resume_ == 0 || buffer_resume_ > buffer_full_) {
      buffer_resume_ = static_cast<std::uint16_t>(in_size_ / 4);
    }
  }
  if (dispatcher_ && open_state_ == cpsOpen) {
    if (mask != 0) {
      Check(dispatcher_->EnableSWFlow(buffer_full_, buffer_resume_, mask));
    } else {
      Check(dispatcher_->DisableSWFlow());
    }
  }
  sw_flow_ = options;
}

void TQorCustomComPort::SetXOnChar(std::uint8_t c) {
  if (c == xon_ && !force_apply_) return;
  xon_ = c;
  if (dispatcher_ && open_state_ == cpsOpen) Check(dispatcher_->SetFlowChars(xon_, xoff_));
}

void TQorCustomComPort::SetXOffChar(std::uint8_t c) {
  if (c == xoff_ && !force_apply_) return;
  xoff_ = c;
  if (dispatcher_ && open_state_ == cpsOpen) Check(dispatcher_->SetFlowChars(xon_, xoff_));
}

void TQorCustomComPort::SetBufferFull(std::uint16_t count) {
  if (count == buffer_full_ && !force_apply_) return;
  buffer_full_ = count > in_size_ ? static_cast<std::uint16_t>(count * 9 / 10) : count;
  const bool saved = force_apply_;
  force_apply_ = true;
  SetHWFlowOptions(hw_flow_);
  SetSWFlowOptions(sw_flow_);
  force_apply_ = saved;
}

void TQorCustomComPort::SetBufferResume(std::uint16_t count) {
  if (count == buffer_resume_ && !force_apply_) return;
  buffer_resume_ =
      count > buffer_full_ ? static_cast<std::uint16_t>(buffer_full_ / 10) : count;
  const bool saved = force_apply_;
  force_apply_ = true;
  SetHWFlowOptions(hw_flow_);
  SetSWFlowOptions(sw_flow_);
  force_apply_ = saved;
}

void TQorCustomComPort::SetUseEventWord(bool on) {
  if (on == use_event_word_ && !force_apply_) return;
  use_event_word_ = on;
  if (dispatcher_ && open_state_ == cpsOpen) {
    if (on) {
      dispatcher_->SetOptionBits(4);
    } else {
      dispatcher_->ClearOptionBits(4);
    }
  }
}

void TQorCustomComPort::SetRS485Mode(bool on) {
  if (on == rs485_mode_ && !force_apply_) return;
  rs485_mode_ = on;
  if (dispatcher_ && open_state_ == cpsOpen) dispatcher_->SetRS485(on);
  if (on) {
    SetHWFlowOptions(hw_flow_ & ~(hwfUseRTS | hwfRequireCTS));
    SetRTS(false);
  }
}

void TQorCustomComPort::SetAvailLength(std::uint16_t count) {
  if (count == avail_length_ && !force_apply_) return;
  avail_length_ = count;
  if (dispatcher_ && open_state_ == cpsOpen) dispatcher_->SetAvailThreshold(count);
}

void TQorCustomComPort::SetPriorityBoost(std::uint8_t boost) {
  if (boost == priority_boost_ && !force_apply_) return;
  priority_boost_ = boost;
  if (dispatcher_ && open_state_ == cpsOpen) dispatcher_->SetPriorityBoost(boost);
}

// ---- Events: assigning a trigger event (re)decides whether the port's window
// wants the dispatcher's notifications.

void TQorCustomComPort::SetOnTrigger(TTriggerEvent e) {
  on_trigger_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent e) {
  on_trigger_avail_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerData(TTriggerHandleEvent e) {
  on_trigger_data_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerStatus(TTriggerHandleEvent e) {
  on_trigger_status_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerTimer(TTriggerHandleEvent e) {
  on_trigger_timer_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent e) {
  on_trigger_line_error_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerModemStatus(TNotifyEvent e) {
  on_trigger_modem_status_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent e) {
  on_trigger_outbuff_free_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent e) {
  on_trigger_outbuff_used_ = std::move(e);
  UpdateHandlerInstallation();
}
void TQorCustomComPort::SetOnTriggerOutSent(TNotifyEvent e) {
  on_trigger_out_sent_ = std::move(e);
  UpdateHandlerInstallation();
}

void TQorCustomComPort::UpdateHandlerInstallation() {
  if (!dispatcher_ || open_state_ != cpsOpen) return;
  const bool wanted = on_trigger_ || on_trigger_avail_ || on_trigger_data_ ||
                      on_trigger_status_ || on_trigger_timer_ || on_trigger_line_error_ ||
                      on_trigger_modem_status_ || on_trigger_outbuff_free_ ||
                      on_trigger_outbuff_used_ || on_trigger_out_sent_;
  dispatcher_->RecomputeHandlerFlags(wanted ? 1 : 2);
}

}  // namespace qor
