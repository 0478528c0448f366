// The Ymodem transmitter: for each file a header block 0 with its name, size
// and date, then the file through the nested Xmodem transmitter; an empty
// header ends the batch.
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"
#include "protocols/xymodem/xmodem_block.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/xymodem/xymodem_common.hpp"
#include "protocols/xymodem/ymodem_header.hpp"

namespace qor {

namespace {

constexpr std::int32_t kTooManyErrors = -6008;
constexpr std::int32_t kOutputFull = -3006;
constexpr std::int32_t kDrainTicks = 1092;

TNext After(const TXYmodemData& xy) {
  switch (xy.YState) {
    // A receiver's request for the next header may have come with its last ACK.
    case tyInitial:
    case tyGetFlName:
    case tySndFlName:
    case tyFinishd: return TNext::Now;
    case tyHandshake:
    case tyRplyPndng:
    case tyPrpXmdm: return TNext::WhileData;
    case tySndXmdm: return xy.JustEntered ? TNext::Now : TNext::Wait;
    default: return TNext::Wait;
  }
}

bool SendHeader(TProtocolData& data, TXYmodemData& xy, const std::uint8_t* header,
                std::int32_t length) {
  xy.Wire.clear();
  BuildBlock(length == kLongBlock ? kStx : kSoh, 0, header, length, xy.Crc, xy.Wire);
  if (SendBytes(data, xy.Wire.data(), xy.Wire.size())) return true;
  ReportProtocolError(data, kOutputFull);
  return false;
}

std::uint8_t Handshake(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Timer) return HandshakeWaitOk(data, xy) ? tyHandshake : tyFinishd;
  if (event != TEvent::Data || !XYInputWaiting(data)) return tyHandshake;
  if (!TakeHandshake(data, xy, ReadByte(data))) {
    if (data.ProtocolStatus == psCancelRequested) return tyFinishd;
    return HandshakeWaitOk(data, xy) ? tyHandshake : tyFinishd;
  }
  ClearLineInput(data);  // repeated requests are not answers to the header
  StartTransferClock(data, xy);
  data.BlockErrors = 0;
  xy.MaxBlockErrors = xy.Streaming ? 0 : kDefaultMaxBlockErrors;
  data.ProtocolStatus = psOK;
  return tyGetFlName;
}

std::uint8_t GetFileName(TProtocolData& data, TXYmodemData& xy) {
  if (!data.NextFileProc(data, data.PathName.data())) return tyFinishd;
  data.PrepareReadingProc(data);
  if (data.ProtocolError != 0) return tyFinishd;
  xy.SendPath = data.PathName.data();
  xy.SendSize = data.FileLength;
  const std::vector<std::uint8_t> header = BuildYmodemHeader(
      xy.SendPath, (data.Options & kOptIncludeDirectory) != 0, data.FileLength, data.FileDate);
  std::copy(header.begin(), header.end(), xy.Header.begin());
  xy.HeaderLength = static_cast<std::int32_t>(header.size());
  data.FileLength = xy.HeaderLength;
  data.RemainingCount = xy.HeaderLength;
  data.TransferredCount = 0;
  data.ElapsedTicks = 0;
  data.PathName[0] = '\0';  // the header is not the file yet
  return tySndFlName;
}

std::uint8_t SendFileName(TProtocolData& data, TXYmodemData& xy) {
  data.BlockNumber = 0;
  if (!SendHeader(data, xy, xy.Header.data(), xy.HeaderLength)) return tyFinishd;
  xy.FileOffered = true;
  ArmTimer(data, kDrainTicks);
  ArmOutputEmpty(data);
  return tyDraining;
}

std::uint8_t HeaderReply(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  if (event == TEvent::Data) {
    // A streaming receiver answers with its request for the data.
    if (xy.Streaming) return tyPrpXmdm;
    if (!XYInputWaiting(data)) return tyRplyPndng;
    if (ReadByte(data) == kAck) return tyPrpXmdm;
  } else if (event != TEvent::Timer) {
    return tyRplyPndng;
  }
  CountBlockError(data);
  if (data.BlockErrors <= xy.MaxBlockErrors) return tySndFlName;
  ReportProtocolError(data, kTooManyErrors);
  return tyFinishd;
}

std::uint8_t PrepareXmodem(TProtocolData& data, TXYmodemData& xy) {
  data.TransferredCount = 0;
  data.ElapsedTicks = 0;
  CopyName(data.PathName, xy.SendPath);
  data.FileLength = xy.SendSize;
  data.RemainingCount = xy.SendSize;
  data.BlockLength = kLongBlock;
  xy.StartChar = kStx;
  xy.Crc = true;
  data.BlockCheckMethod = bcmCrc16;
  data.ForceStatus = true;
  xy.XState = txInitial;
  xy.JustEntered = true;
  return tySndXmdm;
}

std::uint8_t SendXmodem(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  xy.JustEntered = false;
  RunMachine(data, xy, kXmodemTransmit, event);
  if (xy.XState != txDone) return tySndXmdm;
  const bool ok = data.ProtocolStatus == psEndFile && data.ProtocolError == 0;
  return ok ? tyInitial : tyFinishd;
}

std::uint8_t Finish(TProtocolData& data, TXYmodemData& xy) {
  data.FinishReadingProc(data);
  if (xy.FileOffered && data.ProtocolStatus != psCancelRequested) {
    const std::vector<std::uint8_t> empty(kShortBlock, 0);
    data.BlockNumber = 0;
    SendHeader(data, xy, empty.data(), kShortBlock);
    ArmTimer(data, data.FinishWait);
    ArmOutputEmpty(data);
    return tyFinDrain;
  }
  ShowLastStatus(data);
  FinishProtocol(data);
  return tyDone;
}

std::uint8_t NextState(TProtocolData& data, TXYmodemData& xy, TEvent event) {
  switch (xy.YState) {
    case tyInitial:
      xy.HandshakeAttempts = 0;
      return HandshakeWaitOk(data, xy) ? tyHandshake : tyFinishd;
    case tyHandshake: return Handshake(data, xy, event);
    case tyGetFlName: return GetFileName(data, xy);
    case tySndFlName: return SendFileName(data, xy);
    case tyDraining:
      if (event != TEvent::OutEmpty && event != TEvent::Timer && event != TEvent::Data) {
        return tyDraining;
      }
      ArmTimer(data, xy.BlockWait);
      return tyRplyPndng;
    case tyRplyPndng: return HeaderReply(data, xy, event);
    case tyPrpXmdm: return PrepareXmodem(data, xy);
    case tySndXmdm: return SendXmodem(data, xy, event);
    case tyFinishd: return Finish(data, xy);
    case tyFinDrain:
      if (event != TEvent::OutEmpty && event != TEvent::Timer) return tyFinDrain;
      ShowLastStatus(data);
      FinishProtocol(data);
      return tyDone;
    default: return tyDone;
  }
}

}  // namespace

const TMachine kYmodemTransmit{
    true,   &TXYmodemData::YState, tyInitial, tyFinishd, tyDone, &NextState,
    &After, lfTransmitFail,        dlkYModem, 138};

void YmodemPrepareTransmit(TProtocolData& data) {
  if (PrepareTransfer(data, kYmodemTransmit) != nullptr) ClearLineInput(data);
}

void YmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunHandler(kYmodemTransmit, msg, wparam, lparam);
}

}  // namespace qor
