// The Ymodem receiver: asks for a header block 0, stores the file it names
// through the nested Xmodem receiver, cuts it back to the announced size and
// dates it, and asks for the next header until an empty one ends the batch.
#include <algorithm>
#include <cctype>

#include "protocols/core/protocol_core.hpp"
#include "protocols/core/safe_names.hpp"
#include "protocols/core/work_file.hpp"
#include "protocols/xymodem/xmodem_receive_parts.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/xymodem/xymodem_common.hpp"
#include "protocols/xymodem/ymodem_header.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFatalTimeout = -6006;
constexpr std::int32_t kTooManyErrors = -6008;
constexpr std::int32_t kDelayTicks = 9;

TNext After(const TXYmodemData& xy) {
  switch (xy.YState) {
    case ryInitial:
    case ryProcBlck:
    case ryPrepXmdm:
    case ryFinished: return TNext::Now;
    case ryWtFBlkStrt:
    case ryCollBlck: return TNext::WhileData;
    case ryRcvXmodem: return xy.JustEntered ? TNext::Now : TNext::Wait;
    default: return TNext::Wait;
  }
}

std::uint8_t Initial(TProtocolData& data, TXYmodemData& xy) {
  data.FileLength = 0;
  data.TransferredCount = 0;
  data.RemainingCount = 0;
  data.BlockNumber = 0;
  data.PathName[0] = '\0';
  xy.HandshakeAttempts = 0;
  std::fill(xy.Header.begin(), xy.Header.end(), 0);
  xy.OneK = false;
  xy.Crc = true;
  data.BlockCheckMethod = bcmCrc16;
  data.BlockLength = kShortBlock;
  xy.ExtraBytes = 4;
  ArmTimer(data, kDelayTicks);
  return ryDelay;
}

std::uint8_t AskForHeader(TProtocolData& data, TXYmodemData& xy) {
  xy.ReplyChar = xy.Streaming ? kWantStreaming : xy.Crc ? kWantCrc : kNak;
  SendByte(data, xy.ReplyChar);
  xy.EotCount = 0;
  xy.CanCount = 0;
  ArmTimer(data, data.HandshakeWait);
  return ryWtFrHSRply;
}

std::uint8_t HandshakeReply(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Data) {
    if (xy.Streaming) xy.MaxBlockErrors = 0;
    xy.ClockStarted = false;
    return ryWtFBlkStrt;
  }
  if (event != TEvent::Timer) return ryWtFrHSRply;
  if (++xy.HandshakeAttempts > data.HandshakeRetry) {
    ReportProtocolError(data, kFatalTimeout);
    return ryFinished;
  }
  if (data.BlockErrors > xy.MaxBlockErrors) AskForChecksums(data, xy);
  AskAgain(data, xy);
  return ryWtFrHSRply;
}

std::uint8_t HeaderLost(TProtocolData& data, TXYmodemData& xy) {
  CountBlockError(data);
  if (data.BlockErrors <= xy.MaxBlockErrors) return ryInitial;
  ReportProtocolError(data, kTooManyErrors);
  return ryFinished;
}

std::uint8_t BlockStart(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Timer) return HeaderLost(data, xy);
  if (event != TEvent::Data) return ryWtFBlkStrt;
  switch (ScanBlockStart(data, xy)) {
    case TBlockStart::Block:
      if (!xy.ClockStarted) StartTransferClock(data, xy);
      return ryCollBlck;
    case TBlockStart::EndOfFile:
    case TBlockStart::Cancelled: return ryFinished;
    default: return ryWtFBlkStrt;
  }
}

// Where the file the header names may be stored, or a refusal.
void TakeName(TProtocolData& data, TXYmodemData& xy, std::string name) {
  if (data.UpcaseFileNames) {
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
      return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
  }
  const auto path = ReceivedFilePath(data.DestinationDirectory.data(), name,
                                     (data.Options & kOptHonorDirectory) != 0);
  // A refused name is still shown and logged, made harmless to show.
  CopyName(data.PathName, path ? *path : PrintableName(name));
  xy.NameRefused = !path;
}

std::uint8_t ProcessHeader(TProtocolData& data, TXYmodemData& xy) {
  JudgeCollected(data, xy);
  if (data.ProtocolStatus != psOK) {
    if (xy.Streaming || data.ProtocolError != 0) return ryFinished;
    ArmTimer(data, data.HandshakeWait);
    return ryWtFrHSRply;
  }
  std::copy_n(xy.RxBlock.begin() + 2, data.BlockLength, xy.Header.begin());
  AcceptCollected(data, xy);
  if (EndsBatch(xy.Header.data(), data.BlockLength)) return ryFinished;
  xy.Received = ParseYmodemHeader(xy.Header.data(), data.BlockLength);
  TakeName(data, xy, xy.Received.Name);
  data.FileLength = xy.Received.Size;
  if (xy.Received.BadDate) {
    data.ProtocolStatus = psInvalidDate;
    data.StatusProc(data, kStatusPlain);
  }
  data.TransferredCount = 0;
  data.ElapsedTicks = 0;
  xy.OneK = true;
  xy.Crc = true;
  data.BlockCheckMethod = bcmCrc16;
  data.BlockLength = kLongBlock;
  return ryPrepXmdm;
}

std::uint8_t PrepareXmodem(TProtocolData& data, TXYmodemData& xy) {
  xy.XState = rxInitial;
  data.TransferredCount = 0;
  data.BlockErrors = 0;
  data.ProtocolStatus = psProtocolHandshake;
  data.FileLength = xy.Received.Size;
  data.RemainingCount = xy.Received.Size;
  xy.JustEntered = true;
  return ryRcvXmodem;
}

std::uint8_t ReceiveXmodem(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  xy.JustEntered = false;
  RunMachine(data, xy, kXmodemReceive, event);
  if (xy.XState != rxDone) return ryRcvXmodem;
  // A file that was refused, cancelled, broken off or not settled ends the batch.
  if (data.ProtocolStatus != psEndFile || data.ProtocolError != 0) return ryFinished;
  ArmTimer(data, data.HandshakeWait);
  data.ForceStatus = true;
  return ryInitial;
}

std::uint8_t Finish(TProtocolData& data) {
  // What arrived of a file broken off is kept.
  data.FinishWritingProc(data);
  ShowLastStatus(data);
  FinishProtocol(data);
  return ryDone;
}

std::uint8_t NextState(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  switch (xy.YState) {
    case ryInitial: return Initial(data, xy);
    case ryDelay:
      if (event != TEvent::Timer) return ryDelay;
      return AskForHeader(data, xy);
    case ryWtFrHSRply: return HandshakeReply(data, xy, event);
    case ryWtFBlkStrt: return BlockStart(data, xy, event);
    case ryCollBlck:
      if (event != TEvent::Data && event != TEvent::Timer) return ryCollBlck;
      if (CollectBlock(data, xy)) return ryProcBlck;  // on a time-out too, as in Xmodem
      if (event == TEvent::Timer) return HeaderLost(data, xy);
      return ryCollBlck;
    case ryProcBlck: return ProcessHeader(data, xy);
    case ryPrepXmdm: return PrepareXmodem(data, xy);
    case ryRcvXmodem: return ReceiveXmodem(data, xy, event);
    case ryFinished: return Finish(data);
    default: return ryDone;
  }
}

// The header block, or a block of the file the nested Xmodem machine collects.
std::int32_t Missing(const TProtocolData& data, const TXYmodemData& xy) {
  if (xy.YState == ryCollBlck) return BlockBytesLeft(data, xy);
  return xy.YState == ryRcvXmodem ? kXmodemReceive.Missing(data, xy) : 0;
}

}  // namespace

const TMachine kYmodemReceive{
    true,   &TXYmodemData::YState, ryInitial, ryFinished, ryDone, &NextState,
    &After, lfReceiveFail,         dlkYModem, 138,  &Missing};

void YmodemPrepareReceive(TProtocolData& data) { PrepareTransfer(data, kYmodemReceive); }

void YmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunHandler(kYmodemReceive, msg, wparam, lparam);
}

}  // namespace qor
