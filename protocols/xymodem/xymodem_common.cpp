#include "protocols/xymodem/xymodem_common.hpp"

#include <algorithm>
#include <exception>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/xymodem.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFault = -6014;
constexpr std::int32_t kFatalTimeout = -6006;
constexpr std::int32_t kNotSupported = -6015;

bool IsTrigger(std::uintptr_t wparam, std::int32_t handle) {
  return handle != 0 && static_cast<std::int32_t>(wparam) == handle;
}

TEvent EventOf(const TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
  if (msg == kMsgTriggerAvail) return TEvent::Data;
  if (msg == kMsgTriggerTimer && IsTrigger(wparam, data.TimeoutTrigger)) return TEvent::Timer;
  if (msg == kMsgTriggerStatus && IsTrigger(wparam, data.OutBuffFreeTrigger))
    return TEvent::OutFree;
  if (msg == kMsgTriggerStatus && IsTrigger(wparam, data.OutBuffUsedTrigger))
    return TEvent::OutEmpty;
  return TEvent::Other;
}

void LogState(TProtocolData& data, const TXYmodemData& xy, const TMachine& m) {
  TQorBaseDispatcher* dispatcher = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr;
  if (dispatcher != nullptr && dispatcher->Logging()) {
    dispatcher->AddLogEntry(m.LogKind, static_cast<std::uint16_t>(m.LogBase + xy.*m.State), 0);
  }
}

// A cancel, a carrier loss or a fault: the machine goes to its finishing state.
void Interrupt(TProtocolData& data, TXYmodemData& xy, const TMachine& m) {
  if (m.InterruptLog >= 0) data.LogProc(data, static_cast<std::uint32_t>(m.InterruptLog));
  xy.*m.State = m.FinishState;
}

// The port or memory failed inside a step: the machine finishes without
// touching the line again; when even that fails, the record is finished here.
void Fail(TProtocolData& data, TXYmodemData& xy, const TMachine& m, std::int32_t code) noexcept {
  try {
    if (data.ProtocolError == 0) ReportProtocolError(data, code != 0 ? code : kFault);
    if (xy.*m.State == m.DoneState) return;
    xy.LineFailed = true;
    Interrupt(data, xy, m);
    // A time-out moves on whatever waits for one.
    RunMachine(data, xy, m, TEvent::Timer);
  } catch (...) {
    // Finished below.
  }
  if (xy.*m.State == m.DoneState) return;
  xy.*m.State = m.DoneState;
  try {
    ShowLastStatus(data);
    FinishProtocol(data);
  } catch (...) {
    // Nothing is left to try: the record stays finished.
  }
}

}  // namespace

void RunMachine(TProtocolData& data, TXYmodemData& xy, const TMachine& m, TEvent event) {
  for (;;) {
    LogState(data, xy, m);
    if (xy.*m.State == m.DoneState) break;
    xy.*m.State = m.NextState(data, xy, event);
    const TNext next = m.After(xy);
    if (next == TNext::Wait) break;
    if (next == TNext::WhileData && !XYInputWaiting(data)) break;
    event = TEvent::Data;
  }
  // A block being collected is announced once all of it is there.
  AskForInput(data, m.Missing != nullptr ? m.Missing(data, xy) : 0);
}

void RunHandler(const TMachine& m, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) return;
  platform::Locker lock(data->Lock);
  auto* xy = dynamic_cast<TXYmodemData*>(data->Engine.get());
  if (xy == nullptr || xy->*m.State == m.DoneState) return;
  try {
    if (msg == kMsgProtocolCancel) {
      SendCancelSequence(*data);
      data->ProtocolStatus = psCancelRequested;
      Interrupt(*data, *xy, m);
    } else if (msg == kMsgTriggerStatus && IsTrigger(wparam, data->CarrierTrigger)) {
      data->ProtocolStatus = psAbortNoCarrier;
      Interrupt(*data, *xy, m);
    }
    if (PaceStatus(*data, msg, wparam)) return;
    RunMachine(*data, *xy, m, EventOf(*data, msg, wparam));
  } catch (const EQORException& e) {
    Fail(*data, *xy, m, e.ErrorCode());
  } catch (const std::exception&) {
    Fail(*data, *xy, m, kFault);
  }
}

TXYmodemData* PrepareTransfer(TProtocolData& data, const TMachine& m) {
  platform::Locker lock(data.Lock);
  auto* xy = dynamic_cast<TXYmodemData*>(data.Engine.get());
  if (xy == nullptr || xy->Ymodem != m.Ymodem) {
    ReportProtocolError(data, kNotSupported);
    return nullptr;
  }
  LoadSwitches(data, *xy);
  ResetStatus(data);
  xy->Nested = m.Ymodem;
  xy->NameRefused = false;
  xy->LineFailed = false;
  xy->ClockStarted = false;
  xy->FileOffered = false;
  xy->JustEntered = false;
  xy->*m.State = m.FirstState;
  data.ProtocolStatus = psProtocolHandshake;
  ShowFirstStatus(data);
  return xy;
}

void LoadSwitches(TProtocolData& data, TXYmodemData& xy) {
  const std::int32_t type = data.ProtocolType;
  xy.Crc = type != ptXmodem;
  xy.OneK = type >= ptXmodem1K;
  xy.Streaming = type == ptXmodem1KG || type == ptYmodemG;
  data.BlockCheckMethod = xy.Crc ? bcmCrc16 : bcmChecksum;
  data.BlockLength = xy.OneK ? kLongBlock : kShortBlock;
  xy.StartChar = xy.OneK ? kStx : kSoh;
  xy.MaxBlockErrors = kDefaultMaxBlockErrors;
}

// ---- The line

bool LineUsable(TProtocolData& data) { return data.ComPort != nullptr && !XY(data).LineFailed; }

void ArmTimer(TProtocolData& data, std::int32_t ticks) {
  if (LineUsable(data)) data.ComPort->ArmTimerTrigger(data.TimeoutTrigger, ticks, true);
}

void ArmOutputEmpty(TProtocolData& data) {
  if (LineUsable(data)) data.ComPort->ArmStatusTrigger(data.OutBuffUsedTrigger, 0, true);
}

void ArmOutputFree(TProtocolData& data, std::int32_t bytes) {
  if (LineUsable(data)) data.ComPort->ArmStatusTrigger(data.OutBuffFreeTrigger, bytes, true);
}

bool XYInputWaiting(TProtocolData& data) { return LineUsable(data) && data.ComPort->InputReady(); }

std::uint8_t ReadByte(TProtocolData& data) { return data.ComPort->ReadChar(); }

std::int32_t ReadBytes(TProtocolData& data, std::uint8_t* out, std::int32_t max) {
  return data.ComPort->ReadChars(out, max);
}

void ClearLineInput(TProtocolData& data) {
  if (LineUsable(data)) data.ComPort->ClearInput();
}

void ClearLineOutput(TProtocolData& data) {
  if (LineUsable(data)) data.ComPort->ClearOutput();
}

bool SendBytes(TProtocolData& data, const std::uint8_t* bytes, std::size_t count) {
  if (!LineUsable(data) || data.ComPort->OutputFree() < static_cast<std::int32_t>(count)) {
    return false;
  }
  data.ComPort->SendBlock(bytes, static_cast<std::uint16_t>(count));
  return true;
}

void SendByte(TProtocolData& data, std::uint8_t byte) { SendBytes(data, &byte, 1); }

void SendCancelSequence(TProtocolData& data) {
  if (!LineUsable(data) || data.ComPort->OpenState() != cpsOpen) return;
  static constexpr std::uint8_t kSequence[] = {kCan,       kCan,       kCan,
                                               kBackspace, kBackspace, kBackspace};
  data.ComPort->ClearOutput();
  SendBytes(data, kSequence, sizeof kSequence);
}

// ---- Bookkeeping

void CountBlockError(TProtocolData& data) {
  ++data.BlockErrors;
  ++data.TotalErrors;
  data.ForceStatus = true;
}

void StartTransferClock(TProtocolData& data, TXYmodemData& xy) {
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  data.ElapsedTicks = 0;
  xy.ClockStarted = true;
}

void Advance(TProtocolData& data, TXYmodemData& xy, std::int32_t length) {
  ++data.BlockNumber;
  data.TransferredCount += length;
  data.RemainingCount = std::max(0, data.RemainingCount - length);
  xy.Position += length;
  data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  data.BlockErrors = 0;
  data.ProtocolStatus = psOK;
}

bool HandshakeWaitOk(TProtocolData& data, TXYmodemData& xy) {
  ++xy.HandshakeAttempts;
  if (xy.HandshakeAttempts > data.HandshakeRetry) {
    ReportProtocolError(data, kFatalTimeout);
    return false;
  }
  ArmTimer(data, data.HandshakeWait);
  if (xy.HandshakeAttempts > 1) CountBlockError(data);
  return true;
}

bool TakeHandshake(TProtocolData& data, TXYmodemData& xy, std::uint8_t c) {
  switch (c) {
    case kNak:
      xy.Crc = false;
      xy.Streaming = false;
      data.BlockCheckMethod = bcmChecksum;
      break;
    case kWantCrc:
      // A receiver that asks with "C" acknowledges each block, and may refuse one.
      xy.Crc = true;
      xy.Streaming = false;
      data.BlockCheckMethod = bcmCrc16;
      break;
    case kWantStreaming:
      xy.Crc = true;
      xy.Streaming = true;
      data.BlockCheckMethod = bcmCrc16;
      break;
    case kCan: data.ProtocolStatus = psCancelRequested; return false;
    default: data.ProtocolStatus = psProtocolError; return false;
  }
  data.ProtocolType = XYmodemTypeOf(xy);
  return true;
}

}  // namespace qor
