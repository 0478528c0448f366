// The Xmodem transmitter: one file in numbered blocks, each acknowledged, or
// streamed without acknowledgements in the "G" variant.
#include <algorithm>
#include <cstring>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/xmodem_block.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/xymodem/xymodem_common.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFatalTimeout = -6006;
constexpr std::int32_t kTooManyErrors = -6008;
constexpr std::int32_t kOutputFull = -3006;
constexpr std::int32_t kDrainTicks = 1092;
constexpr std::int32_t kMaxEotNaks = 3;
constexpr std::int32_t kBlockFrame = 5;  // start, number, complement, two-byte check

TNext After(const TXYmodemData& xy) {
  switch (xy.XState) {
    case txInitial:
    case txWtFreeSpc:
    case txEndDrain:
    case txDone: return TNext::Wait;
    case txHandshake:
    case txDraining:
    case txRplyPnding:
    case txEotReply: return TNext::WhileData;
    default: return TNext::Now;
  }
}

// The whole file has been acknowledged once the block in hand is.
bool AtEnd(const TProtocolData& data, const TXYmodemData& xy) {
  return xy.TxLast && xy.TxBytes <= data.BlockLength;
}

// Time for streamed blocks still in the output buffer to reach the receiver.
std::int32_t DrainTicks(TProtocolData& data, const TXYmodemData& xy) {
  if (data.FinishWait != 0) return data.FinishWait;
  const std::int32_t buffer = data.ComPort->OutputUsed() + data.ComPort->OutputFree();
  const std::int32_t seconds = data.CharsPerSecond > 0 ? buffer / data.CharsPerSecond : 0;
  return (seconds * 182 / 10 + xy.BlockWait) * 2;
}

std::uint8_t Open(TProtocolData& data, TXYmodemData& xy) {
  data.ProtocolStatus = psProtocolHandshake;
  data.PrepareReadingProc(data);
  if (data.ProtocolError != 0) return txFinished;
  data.LogProc(data, lfTransmitStart);
  data.BlockNumber = 1;
  xy.HandshakeAttempts = 0;
  return HandshakeWaitOk(data, xy) ? txHandshake : txFinished;
}

std::uint8_t Handshake(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Timer) return HandshakeWaitOk(data, xy) ? txHandshake : txFinished;
  if (event != TEvent::Data || !XYInputWaiting(data)) return txHandshake;
  if (!TakeHandshake(data, xy, ReadByte(data))) {
    if (data.ProtocolStatus == psCancelRequested) return txFinished;
    return HandshakeWaitOk(data, xy) ? txHandshake : txFinished;
  }
  // A receiver that asked more than once must not see its later requests
  // taken as answers to our blocks.
  ClearLineInput(data);
  StartTransferClock(data, xy);
  data.TransferredCount = 0;
  data.RemainingCount = data.FileLength;
  data.BlockErrors = 0;
  xy.Position = 0;
  xy.MaxBlockErrors = xy.Streaming ? 0 : kDefaultMaxBlockErrors;
  data.ProtocolStatus = psOK;
  return txGetBlock;
}

// The free-space test before a block goes out.
std::uint8_t WaitForRoom(TProtocolData& data) {
  const std::int32_t needed = data.BlockLength + kBlockFrame;
  if (data.ComPort->OutputFree() >= needed) return txSendBlock;
  ArmTimer(data, data.TransmitTimeout);
  ArmOutputFree(data, needed);
  return txWtFreeSpc;
}

std::uint8_t GetBlock(TProtocolData& data, TXYmodemData& xy) {
  data.FileOffset = xy.Position;
  xy.TxBytes = data.BlockLength;
  const bool stop = data.ReadBlockProc(data, xy.TxBlock.data(), xy.TxBytes);
  xy.TxLast = stop && data.ProtocolError == 0;
  // The last block goes out padded to its full length.
  std::fill(xy.TxBlock.begin() + xy.TxBytes, xy.TxBlock.end(), g_PadByte);
  data.BlockErrors = 0;
  return WaitForRoom(data);
}

std::uint8_t WaitFreeSpace(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  switch (event) {
    case TEvent::OutFree: return txSendBlock;
    case TEvent::Timer: ReportProtocolError(data, kFatalTimeout); return txFinished;
    case TEvent::Data:
      while (xy.Streaming && XYInputWaiting(data)) {
        if (ReadByte(data) == kCan) {
          data.ProtocolStatus = psCancelRequested;
          return txFinished;
        }
      }
      return txWtFreeSpc;
    default: return txWtFreeSpc;
  }
}

// False when too many errors ended the transfer.
bool SendBlock(TProtocolData& data, TXYmodemData& xy) {
  if (data.BlockErrors > xy.MaxBlockErrors) {
    if (data.BlockLength != kLongBlock) {
      SendCancelSequence(data);
      ReportProtocolError(data, kTooManyErrors);
      return false;
    }
    // A line too poor for 1024-byte blocks may still carry 128-byte ones.
    data.BlockLength = kShortBlock;
    xy.StartChar = kSoh;
    data.BlockErrors = 0;
  }
  xy.Wire.clear();
  BuildBlock(xy.StartChar, static_cast<std::uint8_t>(data.BlockNumber), xy.TxBlock.data(),
             data.BlockLength, xy.Crc, xy.Wire);
  if (!SendBytes(data, xy.Wire.data(), xy.Wire.size())) {
    ClearLineOutput(data);
    ReportProtocolError(data, kOutputFull);
    return false;
  }
  data.ForceStatus = true;
  return true;
}

std::uint8_t StreamedBlockSent(TProtocolData& data, TXYmodemData& xy) {
  Advance(data, xy, data.BlockLength);
  if (XYInputWaiting(data)) {
    const std::uint8_t c = ReadByte(data);
    if (c == kCan || c == kNak) {
      data.ProtocolStatus = psCancelRequested;
      ClearLineOutput(data);
      return txFinished;
    }
  }
  if (!AtEnd(data, xy)) return txGetBlock;
  ArmTimer(data, DrainTicks(data, xy));
  ArmOutputEmpty(data);
  return txEndDrain;
}

std::uint8_t SendCurrent(TProtocolData& data, TXYmodemData& xy) {
  if (xy.TxBytes == 0) return txFirstEOT;
  if (data.ProtocolError != 0) {
    SendCancelSequence(data);
    return txFinished;
  }
  if (!SendBlock(data, xy)) return txFinished;
  if (xy.Streaming) return StreamedBlockSent(data, xy);
  ArmTimer(data, kDrainTicks);
  ArmOutputEmpty(data);
  return txDraining;
}

std::uint8_t Resend(TProtocolData& data, std::int32_t status) {
  CountBlockError(data);
  data.ProtocolStatus = status;
  return WaitForRoom(data);
}

std::uint8_t Reply(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  // Silence counts as an error too: a receiver that is gone must not keep
  // the block going out for ever.
  if (event == TEvent::Timer) return Resend(data, psTimeout);
  if (event != TEvent::Data || !XYInputWaiting(data)) return txRplyPnding;
  switch (ReadByte(data)) {
    case kAck:
      Advance(data, xy, data.BlockLength);
      data.ForceStatus = true;
      return AtEnd(data, xy) ? txFirstEOT : txGetBlock;
    case kCan:
      data.ProtocolStatus = psCancelRequested;
      ClearLineOutput(data);
      return txFinished;
    case kNak: return Resend(data, psBlockCheckError);
    default: return Resend(data, psProtocolError);
  }
}

std::uint8_t FirstEot(TProtocolData& data, TXYmodemData& xy) {
  data.ProtocolStatus = psOK;
  data.BlockErrors = 0;
  xy.EotCount = 0;
  ClearLineInput(data);
  SendByte(data, kEot);
  ArmTimer(data, data.TransmitTimeout);
  return txEotReply;
}

std::uint8_t RestEot(TProtocolData& data, TXYmodemData& xy) {
  if (data.BlockErrors > xy.MaxBlockErrors) {
    ReportProtocolError(data, kTooManyErrors);
    return txFinished;
  }
  SendByte(data, kEot);
  ArmTimer(data, xy.BlockWait);
  return txEotReply;
}

std::uint8_t EotReply(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Timer) {
    CountBlockError(data);
    return txRestEOT;
  }
  if (event != TEvent::Data || !XYInputWaiting(data)) return txEotReply;
  switch (ReadByte(data)) {
    case kAck: data.ProtocolStatus = psEndFile; return txFinished;
    case kCan: data.ProtocolStatus = psCancelRequested; return txFinished;
    case kNak:
      if (++xy.EotCount < kMaxEotNaks) return txRestEOT;
      SendCancelSequence(data);
      ReportProtocolError(data, kTooManyErrors);
      return txFinished;
    default:
      CountBlockError(data);
      data.ProtocolStatus = psProtocolError;
      return txRestEOT;
  }
}

std::uint8_t Finish(TProtocolData& data, TXYmodemData& xy) {
  const bool ok = data.ProtocolStatus == psEndFile && data.ProtocolError == 0;
  if (!ok) ClearLineInput(data);
  data.FinishReadingProc(data);
  data.LogProc(data, ok ? lfTransmitOk : lfTransmitFail);
  xy.XState = txDone;
  if (xy.Nested) {
    data.StatusProc(data, kStatusPlain);
  } else {
    ShowLastStatus(data);
    FinishProtocol(data);
  }
  return txDone;
}

std::uint8_t NextState(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  switch (xy.XState) {
    case txInitial: return Open(data, xy);
    case txHandshake: return Handshake(data, xy, event);
    case txGetBlock: return GetBlock(data, xy);
    case txWtFreeSpc: return WaitFreeSpace(data, xy, event);
    case txSendBlock: return SendCurrent(data, xy);
    case txDraining:
      if (event != TEvent::OutEmpty && event != TEvent::Data && event != TEvent::Timer) {
        return txDraining;
      }
      ArmTimer(data, xy.BlockWait);
      return txRplyPnding;
    case txRplyPnding: return Reply(data, xy, event);
    case txEndDrain:
      return event == TEvent::OutEmpty || event == TEvent::Timer ? txFirstEOT : txEndDrain;
    case txFirstEOT: return FirstEot(data, xy);
    case txRestEOT: return RestEot(data, xy);
    case txEotReply: return EotReply(data, xy, event);
    case txFinished: return Finish(data, xy);
    default: return txDone;
  }
}

}  // namespace

const TMachine kXmodemTransmit{
    false, &TXYmodemData::XState, txInitial, txFinished, txDone, &NextState, &After, -1, dlkXModem,
    117};

void XmodemPrepareTransmit(TProtocolData& data) { PrepareTransfer(data, kXmodemTransmit); }

void XmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunHandler(kXmodemTransmit, msg, wparam, lparam);
}

}  // namespace qor
