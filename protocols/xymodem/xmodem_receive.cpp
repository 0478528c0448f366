// The Xmodem receiver: one file, named by the application (or by Ymodem's
// header), in blocks the sender numbers; the receiver starts the handshake.
#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/received_file.hpp"
#include "protocols/xymodem/xmodem_receive_parts.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/xymodem/xymodem_common.hpp"

namespace qor {

namespace {

constexpr std::int32_t kTooManyErrors = -6008;
constexpr std::int32_t kNoFileName = -6010;
constexpr std::int32_t kRejected = -6011;
constexpr std::int32_t kChecksumFallback = 3;  // block errors before "C" gives way to NAK

TNext After(const TXYmodemData& xy) {
  switch (xy.XState) {
    case rxInitial:
    case rxWtFrHSRply:
    case rxDone: return TNext::Wait;
    case rxWtFrBlStrt:
    case rxCollBlock: return TNext::WhileData;
    default: return TNext::Now;
  }
}

std::uint8_t Done(TProtocolData& data, TXYmodemData& xy) {
  xy.XState = rxDone;
  if (!xy.Nested) {
    ShowLastStatus(data);
    FinishProtocol(data);
  }
  return rxDone;
}

std::uint8_t Skip(TProtocolData& data) {
  SendCancelSequence(data);
  return rxFinSkip;
}

std::uint8_t Open(TProtocolData& data, TXYmodemData& xy) {
  if (data.PathName[0] == '\0') {
    ReportProtocolError(data, kNoFileName);
    SendCancelSequence(data);
    return Done(data, xy);
  }
  data.LogProc(data, lfReceiveStart);
  if (xy.NameRefused) {
    ReportProtocolError(data, kRejected);
    data.ProtocolStatus = psFileRejected;
    return Skip(data);
  }
  if (!data.AcceptFileProc(data, data.PathName.data())) {
    data.ProtocolStatus = psFileRejected;
    return Skip(data);
  }
  data.ProtocolError = 0;
  data.PrepareWritingProc(data);
  // 4707: the file exists and may not be overwritten; the finish code says -6012.
  if (data.ProtocolError != 0 || data.ProtocolStatus == psCantWriteFile) return Skip(data);
  xy.Position = 0;
  xy.ReplyChar = xy.Streaming ? kWantStreaming : xy.Crc ? kWantCrc : kNak;
  SendByte(data, xy.ReplyChar);
  data.BlockNumber = 1;
  xy.EotCount = 0;
  xy.CanCount = 0;
  xy.ClockStarted = false;
  xy.ExtraBytes = xy.Crc ? 4 : 3;
  ArmTimer(data, data.HandshakeWait);
  return rxWtFrHSRply;
}

std::uint8_t HandshakeReply(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Data) return rxWtFrBlStrt;
  if (event != TEvent::Timer) return rxWtFrHSRply;
  CountBlockError(data);
  if (data.BlockErrors > xy.MaxBlockErrors) {
    ReportProtocolError(data, kTooManyErrors);
    data.ProtocolStatus = psProtocolError;
    return rxFinished;
  }
  if (xy.ReplyChar == kWantCrc && data.BlockErrors > kChecksumFallback) {
    data.BlockErrors = 0;
    AskForChecksums(data, xy);
  }
  AskAgain(data, xy);
  return rxWtFrHSRply;
}

std::uint8_t BlockStart(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Timer) {
    if (xy.EotCount > 0) {
      // The sender's second EOT got lost: the first one stands.
      SendByte(data, kAck);
      data.ProtocolStatus = psEndFile;
      return rxFinished;
    }
    CountBlockError(data);
    if (data.BlockErrors > xy.MaxBlockErrors) {
      ReportProtocolError(data, kTooManyErrors);
      return rxFinished;
    }
    if (data.ProtocolStatus == psCancelRequested) return rxFinished;
    SendByte(data, xy.ReplyChar);
    ArmTimer(data, xy.BlockWait);
    return rxWtFrHSRply;
  }
  if (event != TEvent::Data || !XYInputWaiting(data)) return rxWtFrBlStrt;
  if (!xy.ClockStarted) {
    StartTransferClock(data, xy);
    if (xy.Streaming) xy.MaxBlockErrors = 0;
  }
  switch (ScanBlockStart(data, xy)) {
    case TBlockStart::Block: return rxCollBlock;
    case TBlockStart::EndOfFile:
    case TBlockStart::Cancelled: return rxFinished;
    default: return rxWtFrBlStrt;
  }
}

std::uint8_t Collect(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event != TEvent::Data && event != TEvent::Timer) return rxCollBlock;
  // On a time-out too: what came since the last notice belongs to this block
  // (we are told only once all of it is there), not to the next one.
  if (CollectBlock(data, xy)) return rxProcBlck;
  if (event == TEvent::Data) return rxCollBlock;
  SendByte(data, kNak);
  data.ProtocolStatus = psTimeout;
  ArmTimer(data, xy.BlockWait);
  return rxWtFrBlStrt;
}

std::uint8_t Process(TProtocolData& data, TXYmodemData& xy) {
  JudgeCollected(data, xy);
  if (data.ProtocolStatus == psOK) {
    data.FileOffset = xy.Position;
    if (data.WriteBlockProc(data, xy.RxBlock.data() + 2, data.BlockLength)) {
      SendCancelSequence(data);
      return rxFinished;
    }
    AcceptCollected(data, xy);
    data.FileOffset = xy.Position;  // where the written data ends
  }
  if (data.ProtocolStatus == psOK || data.ProtocolStatus == psDuplicateBlock) {
    ArmTimer(data, xy.BlockWait);
    return rxWtFrBlStrt;
  }
  if (data.ProtocolError != 0) return rxFinished;
  if (xy.Streaming) {
    // A stream cannot go back for a block: the transfer fails, and says so.
    SendCancelSequence(data);
    ReportProtocolError(data, kTooManyErrors);
    return rxFinished;
  }
  ArmTimer(data, data.HandshakeWait);
  return rxWtFrHSRply;
}

// A file that came through Ymodem as its header describes it; false when
// that failed (reported).
bool Settle(TProtocolData& data, const TXYmodemData& xy) {
  std::int64_t length = 0;
  const std::int32_t result =
      SettleReceivedFile(data.PathName.data(), xy.Received.Size, xy.Received.Seconds, length);
  if (result != 0) {
    ReportProtocolError(data, result);
    return false;
  }
  data.FileLength = static_cast<std::int32_t>(length);
  return true;
}

std::uint8_t Close(TProtocolData& data, TXYmodemData& xy, bool skipped) {
  data.FinishWritingProc(data);
  bool ok = data.ProtocolStatus == psEndFile && data.ProtocolError == 0;
  if (ok && xy.Ymodem) ok = Settle(data, xy);
  data.LogProc(data, skipped ? lfReceiveSkip : ok ? lfReceiveOk : lfReceiveFail);
  return Done(data, xy);
}

std::uint8_t NextState(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  switch (xy.XState) {
    case rxInitial: return Open(data, xy);
    case rxWtFrHSRply: return HandshakeReply(data, xy, event);
    case rxWtFrBlStrt: return BlockStart(data, xy, event);
    case rxCollBlock: return Collect(data, xy, event);
    case rxProcBlck: return Process(data, xy);
    case rxFinSkip: return Close(data, xy, true);
    case rxFinished: return Close(data, xy, false);
    default: return rxDone;
  }
}

std::int32_t Missing(const TProtocolData& data, const TXYmodemData& xy) {
  return xy.XState == rxCollBlock ? BlockBytesLeft(data, xy) : 0;
}

}  // namespace

const TMachine kXmodemReceive{
    false, &TXYmodemData::XState, rxInitial, rxFinished, rxDone, &NextState, &After, -1, dlkXModem,
    117,   &Missing};

void XmodemPrepareReceive(TProtocolData& data) { PrepareTransfer(data, kXmodemReceive); }

void XmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunHandler(kXmodemReceive, msg, wparam, lparam);
}

}  // namespace qor
