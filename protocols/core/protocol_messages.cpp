// Reports to the protocol component's window, and the status bookkeeping
// around them.
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

// A hung or slow component must not stall the line for long.
constexpr std::uint32_t kReplyTimeoutMs = 1000;

// The component's answer; 0 without a window, or when none came in time.
std::intptr_t Send(const TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam,
                   std::intptr_t lparam) {
  if (data.MessageWindow == platform::WindowHandle::None) return 0;
  std::intptr_t reply = 0;
  if (!platform::SendMessageTimeout(data.MessageWindow, msg, wparam, lparam, kReplyTimeoutMs,
                                    true, &reply)) {
    return 0;
  }
  return reply;
}

std::intptr_t RecordParam(TProtocolData& data) { return reinterpret_cast<std::intptr_t>(&data); }

}  // namespace

void SendStatusMessage(TProtocolData& data, std::uint32_t options) {
  Send(data, kMsgProtocolStatus, options, RecordParam(data));
}

void SendLogMessage(TProtocolData& data, std::uint32_t code) {
  Send(data, kMsgProtocolLog, code, RecordParam(data));
}

bool SendNextFileMessage(TProtocolData& data, char* name) {
  return Send(data, kMsgProtocolNextFile, 0, reinterpret_cast<std::intptr_t>(name)) != 0;
}

bool SendAcceptFileMessage(TProtocolData& data, char* name) {
  return Send(data, kMsgProtocolAcceptFile, 0, reinterpret_cast<std::intptr_t>(name)) == 1;
}

void ReportProtocolError(TProtocolData& data, std::int32_t code) {
  Send(data, kMsgProtocolError, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(code)), 0);
  data.ProtocolError = code;
}

void ShowFirstStatus(TProtocolData& data) {
  data.StatusProc(data, data.InProgress == 0 ? kStatusFirst : kStatusPlain);
  ++data.InProgress;
}

void ShowLastStatus(TProtocolData& data) {
  if (data.InProgress <= 0) return;
  --data.InProgress;
  data.StatusProc(data, data.InProgress == 0 ? kStatusLast : kStatusPlain);
}

void ResetStatus(TProtocolData& data) {
  if (data.InProgress == 0) {
    data.FileLength = 0;
    data.RemainingCount = 0;
  }
  data.TransferredCount = 0;
  data.BlockNumber = 0;
  data.ElapsedTicks = 0;
  data.BlockErrors = 0;
  data.TotalErrors = 0;
  data.ProtocolError = 0;
  data.ProtocolStatus = psOK;
}

}  // namespace qor
