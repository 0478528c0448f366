// Byte and trigger operations: each first finds the open dispatcher (opening the
// port when AutoOpen allows) and does nothing while the port is closing.
#include <algorithm>

#include "comm/comport/com_port.hpp"

namespace qor {

TQorBaseDispatcher& TQorCustomComPort::PortDispatcher() {
  if (!dispatcher_ && !IsDesigning() && !IsLoading() && !open_ && auto_open_) SetOpen(true);
  if (!dispatcher_) Check(-2007);
  return *dispatcher_;
}

void TQorCustomComPort::SendString(const std::string& text) {
  SendBlock(text.data(), static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), 0xFFFF)));
}

void TQorCustomComPort::SendBlock(const void* buffer, std::uint16_t length) {
  if (Closing()) return;
  TQorBaseDispatcher& d = PortDispatcher();
  if (length == 0) return;
  Check(d.WriteBlock(static_cast<const std::uint8_t*>(buffer), length));
}

void TQorCustomComPort::SendChar(std::uint8_t c) { SendBlock(&c, 1); }

std::uint8_t TQorCustomComPort::ReadChar() {
  if (Closing()) return 0;
  std::uint8_t c = 0;
  Check(PortDispatcher().ReadInputChar(c));
  return c;
}

std::int32_t TQorCustomComPort::ReadChars(std::uint8_t* out, std::int32_t max) {
  if (Closing() || max <= 0) return 0;
  return PortDispatcher().TakeInputChars(out, max);
}

bool TQorCustomComPort::InputReady() {
  if (Closing()) return false;
  return PortDispatcher().HasInput();
}

void TQorCustomComPort::ClearInput() {
  if (Closing()) return;
  Check(PortDispatcher().PurgeInput());
}

void TQorCustomComPort::ClearOutput() {
  if (Closing()) return;
  Check(PortDispatcher().PurgeOutput());
}

std::int32_t TQorCustomComPort::OutputUsed() {
  if (!dispatcher_ || open_state_ != cpsOpen) return 0;
  return dispatcher_->OutputUsed();
}

std::int32_t TQorCustomComPort::OutputFree() {
  if (!dispatcher_ || open_state_ != cpsOpen) return out_size_;
  return dispatcher_->OutputFree();
}

void TQorCustomComPort::SendBreak(std::uint16_t ticks, bool yield) {
  if (Closing()) return;
  PortDispatcher().SendBreak(ticks, yield);
}

std::uint16_t TQorCustomComPort::LineErrorCode() {
  if (!dispatcher_ || open_state_ != cpsOpen) return 0;
  return static_cast<std::uint16_t>(dispatcher_->TakeLineError());
}

bool TQorCustomComPort::LineBreakSeen() {
  if (!dispatcher_ || open_state_ != cpsOpen) return false;
  return dispatcher_->TakeLineBreak();
}

std::int32_t TQorCustomComPort::NewTimerTrigger() {
  if (Closing()) return 0;
  return Check(PortDispatcher().CreateTimerTrigger());
}

std::int32_t TQorCustomComPort::NewStatusTrigger(std::uint16_t kind) {
  if (Closing()) return 0;
  return Check(PortDispatcher().CreateStatusTrigger(kind));
}

std::int32_t TQorCustomComPort::NewDataTrigger(const std::string& text, bool ignore_case) {
  if (Closing()) return 0;
  return Check(PortDispatcher().AddDataTrigger(text, ignore_case));
}

void TQorCustomComPort::DropTrigger(std::int32_t handle) {
  if (!dispatcher_ || open_state_ != cpsOpen) return;
  Check(dispatcher_->DeleteTrigger(handle));
}

void TQorCustomComPort::ArmTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate) {
  if (Closing()) return;
  Check(PortDispatcher().ArmTimerTrigger(handle, ticks, activate));
}

void TQorCustomComPort::ArmStatusTrigger(std::int32_t handle, std::int32_t value,
                                         bool activate) {
  if (Closing()) return;
  Check(PortDispatcher().ArmStatusTrigger(handle, value, activate));
}

void TQorCustomComPort::YieldToDispatcher() {
  if (Closing()) return;
  PortDispatcher().Yield();
}

}  // namespace qor
