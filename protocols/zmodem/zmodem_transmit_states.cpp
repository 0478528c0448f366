#include "protocols/zmodem/zmodem_transmit_states.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "comm/comport/com_port.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/batch_file_info.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFatalTimeout = -6006;
constexpr std::int32_t kNoFiles = -6003;
constexpr std::uint32_t kMaxDataErrors = 20;
constexpr std::int32_t kTrailerRoom = 60;  // a header or two after the block
constexpr std::int32_t kEofStatusTicks = 18;
constexpr std::int32_t kMinDrainSeconds = 8;
constexpr std::int32_t kDefaultDrainSeconds = 10;
constexpr TZHeaderBytes kNoBytes{};

std::string PathOf(const TProtocolData& data) {
  return {data.PathName.data(), strnlen(data.PathName.data(), kPathSize)};
}

// The name the file information announces. Only the announced name changes
// case: the path must stay as it is to be opened.
std::string AnnouncedName(const TProtocolData& data) {
  const std::string path = PathOf(data);
  std::string name = (data.Options & kOptIncludeDirectory) != 0 ? path : JustFileName(path);
  if (data.UpcaseFileNames) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
  }
  return name;
}

std::uint8_t Fail(TProtocolData& data) {
  ZmodemCancel(data);
  return tzError;
}

std::uint8_t PeerCancelled(TProtocolData& data) {
  data.ProtocolStatus = psCancelRequested;
  return tzError;
}

bool IsHeader(const TProtocolData& data) { return data.ProtocolStatus == psGotHeader; }
bool IsFailure(const TProtocolData& data, TZEvent event) {
  return event == TZEvent::Timeout || data.ProtocolStatus == psBlockCheckError;
}

std::uint8_t Initial(TProtocolData& data) {
  const std::uint8_t start[] = {'r', 'z', '\r'};
  data.ComPort->SendBlock(start, sizeof start);
  SendHexHeader(data, ZRQINIT, kNoBytes);
  data.BlockErrors = 0;
  ArmTimeout(data, data.HandshakeWait);
  return tzHandshake;
}

std::uint8_t Handshake(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) {
    if (CountRetry(data, data.HandshakeRetry)) return tzError;
    SendHexHeader(data, ZRQINIT, kNoBytes);
    ArmTimeout(data, data.HandshakeWait);
    return tzHandshake;
  }
  if (!IsHeader(data)) return tzHandshake;
  const TZmodemReader& r = zd.Reader;
  switch (r.Type) {
    case ZRINIT: {
      const std::uint8_t flags = r.Bytes[3];
      zd.ReceiverBufLen = r.Bytes[0] | (r.Bytes[1] << 8);
      zd.UseCrc32 = (flags & kZCanCrc32) != 0;
      data.BlockCheckMethod = zd.UseCrc32 ? bcmCrc32 : bcmCrc16;
      zd.EscapeAll = (flags & kZEscapeControl) != 0;
      zd.Escaper = TZEscaper(zd.EscapeAll);
      data.BlockErrors = 0;
      return zd.EscControlRequested && !zd.EscapeAll ? tzSendSInit : tzGetFile;
    }
    case ZCHALLENGE:
      SendHexHeader(data, ZACK, r.Bytes);
      return tzHandshake;
    case ZRQINIT:
      return tzHandshake;
    default:
      SendHexHeader(data, ZNAK, kNoBytes);
      return tzHandshake;
  }
}

std::uint8_t SendSInit(TProtocolData& data, TZmodemData& zd) {
  SendHexHeader(data, ZSINIT, {0, 0, 0, kZEscapeControl});
  zd.EscapeAll = true;
  zd.Escaper = TZEscaper(true);
  const std::uint8_t empty_attention = 0;
  SendSubpacket(data, &empty_attention, 1, ZCRCW, false);
  ArmTimeout(data, data.HandshakeWait);
  return tzWaitSInitAck;
}

std::uint8_t WaitSInitAck(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, data.HandshakeRetry) ? tzError : tzSendSInit;
  if (IsHeader(data) && zd.Reader.Type == ZACK) {
    data.BlockErrors = 0;
    return tzGetFile;
  }
  return tzWaitSInitAck;
}

std::uint8_t GetFile(TProtocolData& data, TZmodemData& zd) {
  data.ForceStatus = true;
  if (!data.NextFileProc(data, data.PathName.data())) {
    // An application that names no file at all gets told (the mask search
    // reports its own reasons).
    if (!zd.FileOffered && data.ProtocolError == 0) ReportProtocolError(data, kNoFiles);
    return data.ProtocolError != 0 ? tzError : tzSendFinish;
  }
  ResetStatus(data);
  data.InitialPosition = 0;
  data.PrepareReadingProc(data);
  if (data.ProtocolError != 0) return Fail(data);
  zd.FileOffered = true;
  data.FileActive = true;
  data.LogProc(data, lfTransmitStart);
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  zd.TxHeader = {0, 0, zd.FileOption, zd.Recover ? kZmodemResume : std::uint8_t{0}};
  struct stat st {};
  const bool dated = ::stat(data.PathName.data(), &st) == 0;
  const std::string info =
      BuildBatchFileInfo(AnnouncedName(data), data.FileLength, dated, dated ? st.st_mtime : 0);
  const auto len = std::min<std::size_t>(info.size(), static_cast<std::size_t>(zd.StdBlockLen));
  std::memcpy(data.DataBlock, info.data(), len);
  zd.BlockBytes = static_cast<std::int32_t>(len);
  zd.Position = 0;
  return tzSendFile;
}

std::uint8_t SendFile(TProtocolData& data, TZmodemData& zd) {
  SendBinaryHeader(data, ZFILE, zd.TxHeader);
  SendSubpacket(data, data.DataBlock, zd.BlockBytes, ZCRCW, zd.UseCrc32);
  ArmTimeout(data, data.HandshakeWait);
  return tzCheckFile;
}

// The CRC-32 of the file's first limit bytes (0: all of it), in the form
// receivers compare: the register after the bytes, complemented.
std::uint8_t AnswerCrc(TProtocolData& data, TZmodemData& zd) {
  const std::int32_t limit = std::max(0, HeaderPosition(zd));
  const std::uint32_t crc = ~FileCrc32(data, PathOf(data), limit);
  if (data.ProtocolError != 0) return Fail(data);
  SendHexHeader(data, ZCRC, PositionBytes(static_cast<std::int32_t>(crc)));
  ArmTimeout(data, data.HandshakeWait);
  return tzCheckFile;
}

std::uint8_t CheckFile(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, data.HandshakeRetry) ? tzError : tzSendFile;
  if (!IsHeader(data)) return tzCheckFile;
  switch (zd.Reader.Type) {
    case ZSKIP:
      data.ProtocolStatus = psSkipFile;
      data.StatusProc(data, kStatusPlain);
      data.FinishReadingProc(data);
      data.FileActive = false;
      data.LogProc(data, lfTransmitSkip);
      return tzGetFile;
    case ZRPOS: {
      zd.Position = std::clamp(HeaderPosition(zd), 0, static_cast<std::int32_t>(data.FileLength));
      data.TransferredCount = zd.Position;
      data.InitialPosition = zd.Position;
      data.RemainingCount = data.FileLength - zd.Position;
      data.BlockErrors = 0;
      return tzStartData;
    }
    case ZCRC:
      return AnswerCrc(data, zd);
    case ZNAK:
      // The receiver missed the file information.
      return CountRetry(data, data.HandshakeRetry) ? tzError : tzSendFile;
    case ZABORT:
    case ZCAN:
    case ZFERR:
      return PeerCancelled(data);
    default:
      // A ZRINIT here most often answers our ZRQINIT a second time: sending
      // the file information again would have it skipped twice.
      return tzCheckFile;
  }
}

std::uint8_t StartData(TProtocolData& data, TZmodemData& zd) {
  DiscardInput(data);
  DiscardOutput(data);
  zd.SinceAck = 0;
  SendBinaryHeader(data, ZDATA, PositionBytes(zd.Position));
  return tzEscapeData;
}

std::uint8_t EscapeData(TProtocolData& data, TZmodemData& zd) {
  if (zd.ReducedBlock && zd.GoodBlocks >= kZmodemGoodBlocksToGrow) {
    zd.ReducedBlock = false;
    data.BlockLength = zd.StdBlockLen;
  }
  data.FileOffset = zd.Position;
  std::int32_t count = data.BlockLength;
  const bool at_end = data.ReadBlockProc(data, data.DataBlock, count);
  if (data.ProtocolError != 0) return Fail(data);
  zd.BlockBytes = count;
  zd.TxEof = at_end;
  if (zd.ReceiverBufLen > 0) zd.SinceAck += count;
  if (at_end) {
    zd.EndMarker = ZCRCE;
  } else if (zd.ReceiverBufLen > 0 && zd.SinceAck + data.BlockLength > zd.ReceiverBufLen) {
    zd.EndMarker = ZCRCW;
  } else {
    zd.EndMarker = ZCRCG;
  }
  const std::uint8_t* end = BuildSubpacket(data.DataBlock, count, zd.EndMarker, zd.UseCrc32,
                                           zd.Escaper, zd.EscapeBuffer.data());
  zd.EscapedLen = static_cast<std::int32_t>(end - zd.EscapeBuffer.data());
  data.ActualBlockLength = count;
  ArmTimeout(data, data.TransmitTimeout);
  data.ComPort->ArmStatusTrigger(data.OutBuffFreeTrigger, zd.EscapedLen + kTrailerRoom, true);
  return tzSendData;
}

// Goes back to where the receiver asks.
std::uint8_t Resynchronise(TProtocolData& data, TZmodemData& zd) {
  ++data.BlockErrors;
  ++data.TotalErrors;
  data.ForceStatus = true;
  zd.Position = std::clamp(HeaderPosition(zd), 0, static_cast<std::int32_t>(data.FileLength));
  data.TransferredCount = zd.Position;
  data.RemainingCount = data.FileLength - zd.Position;
  if (data.BlockLength > kZmodemMinBlockLen) data.BlockLength = data.BlockLength / 2;
  zd.ReducedBlock = true;
  zd.GoodBlocks = 0;
  DiscardOutput(data);
  return tzStartData;
}

// A header in the data phase or after the end of file that asks for more
// than the state's own answer: cancel, go back, or say it was not understood.
std::uint8_t OtherHeader(TProtocolData& data, TZmodemData& zd, std::uint8_t stay) {
  switch (zd.Reader.Type) {
    case ZRPOS:
      return Resynchronise(data, zd);
    case ZABORT:
    case ZCAN:
    case ZFERR:
      return PeerCancelled(data);
    default:
      SendHexHeader(data, ZNAK, kNoBytes);
      return stay;
  }
}

// A header while data goes out or an acknowledgement is awaited.
std::uint8_t DataPhaseHeader(TProtocolData& data, TZmodemData& zd, std::uint8_t stay) {
  if (zd.Reader.Type != ZACK) return OtherHeader(data, zd, stay);
  data.BlockErrors = 0;
  return tzStartData;
}

std::uint8_t SendData(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, kMaxDataErrors) ? tzError : tzStartData;
  if (IsHeader(data)) return DataPhaseHeader(data, zd, tzSendData);
  if (event != TZEvent::OutFree && data.ComPort->OutputFree() < zd.EscapedLen + kTrailerRoom) {
    return tzSendData;
  }
  data.ComPort->SendBlock(zd.EscapeBuffer.data(), static_cast<std::uint16_t>(zd.EscapedLen));
  zd.Position += zd.BlockBytes;
  data.TransferredCount += zd.BlockBytes;
  data.RemainingCount -= zd.BlockBytes;
  data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  data.ForceStatus = true;
  if (zd.ReducedBlock) ++zd.GoodBlocks;
  if (zd.EndMarker == ZCRCE) return tzSendEof;
  if (zd.EndMarker == ZCRCW) {
    ArmTimeout(data, data.TransmitTimeout);
    return tzWaitAck;
  }
  return tzEscapeData;
}

std::uint8_t WaitAck(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, kMaxDataErrors) ? tzError : tzStartData;
  if (IsHeader(data)) return DataPhaseHeader(data, zd, tzWaitAck);
  return tzWaitAck;
}

std::uint8_t SendEof(TProtocolData& data, TZmodemData& zd) {
  SendBinaryHeader(data, ZEOF, PositionBytes(zd.Position));
  data.ComPort->ArmStatusTrigger(data.OutBuffUsedTrigger, 0, true);
  data.ComPort->ArmTimerTrigger(data.StatusTimerTrigger, kEofStatusTicks, true);
  std::int32_t ticks = data.TransmitTimeout;
  if (data.CharsPerSecond > 0) {
    const std::int32_t seconds = data.ComPort->OutputUsed() / data.CharsPerSecond * 2;
    ticks = SecsToTicks(seconds > kMinDrainSeconds ? seconds : kDefaultDrainSeconds);
  }
  ArmTimeout(data, ticks);
  return tzDrainEof;
}

std::uint8_t EofHeader(TProtocolData& data, TZmodemData& zd, std::uint8_t stay) {
  switch (zd.Reader.Type) {
    case ZRINIT:
    case ZSKIP:
      data.FinishReadingProc(data);
      data.FileActive = false;
      data.LogProc(data, lfTransmitOk);
      data.BlockErrors = 0;
      return tzGetFile;
    case ZACK:
      return stay;
    default:
      return OtherHeader(data, zd, stay);
  }
}

std::uint8_t DrainEof(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (event == TZEvent::Timeout) {
    ReportProtocolError(data, kFatalTimeout);
    return tzError;
  }
  if (IsHeader(data)) return EofHeader(data, zd, tzDrainEof);
  if (data.ProtocolStatus == psBlockCheckError) {
    return CountRetry(data, kMaxDataErrors) ? tzError : tzDrainEof;
  }
  if (event != TZEvent::OutEmpty) return tzDrainEof;
  ArmTimeout(data, data.FinishWait);
  return tzCheckEof;
}

std::uint8_t CheckEof(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, kMaxDataErrors) ? tzError : tzSendEof;
  if (IsHeader(data)) return EofHeader(data, zd, tzCheckEof);
  return tzCheckEof;
}

std::uint8_t SendFinish(TProtocolData& data, TZmodemData& zd) {
  SendHexHeader(data, ZFIN, PositionBytes(zd.Position));
  ArmTimeout(data, data.FinishWait);
  return tzChkFinish;
}

std::uint8_t CheckFinish(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsHeader(data) && zd.Reader.Type == ZFIN) {
    const std::uint8_t over[] = {'O', 'O'};
    data.ComPort->SendBlock(over, sizeof over);
    return tzCleanup;
  }
  // A receiver still answering our last end of file has not seen the ZFIN.
  if (IsHeader(data) && zd.Reader.Type == ZRINIT && !CountRetry(data, data.HandshakeRetry)) {
    return tzSendFinish;
  }
  if (!IsHeader(data) && !IsFailure(data, event)) return tzChkFinish;
  // Every file went through; a receiver that does not say goodbye changes nothing.
  data.ProtocolError = 0;
  return tzCleanup;
}

std::uint8_t Error(TProtocolData& data) {
  if (data.FileActive) {
    data.FinishReadingProc(data);
    data.FileActive = false;
    data.LogProc(data, lfTransmitFail);
  }
  if (data.ProtocolStatus != psCancelRequested) DiscardOutput(data);
  return tzCleanup;
}

std::uint8_t Cleanup(TProtocolData& data, TZmodemData& zd) {
  DiscardInput(data);
  SendAttention(data);
  ShowLastStatus(data);
  zd.State = tzDone;
  FinishProtocol(data);
  return tzDone;
}

}  // namespace

TZPace TransmitPace(std::uint8_t state) {
  switch (state) {
    case tzSendData:
      return TZPace::Stream;
    case tzDone:
      return TZPace::Wait;
    default:
      return TransmitWaitsForHeader(state) ? TZPace::WhileInput : TZPace::AtOnce;
  }
}

bool TransmitWaitsForHeader(std::uint8_t state) {
  switch (state) {
    case tzHandshake:
    case tzCheckFile:
    case tzSendData:
    case tzWaitAck:
    case tzDrainEof:
    case tzCheckEof:
    case tzChkFinish:
    case tzWaitSInitAck:
      return true;
    default:
      return false;
  }
}

void RunTransmitStep(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  std::uint8_t next = zd.State;
  switch (zd.State) {
    case tzInitial: next = Initial(data); break;
    case tzHandshake: next = Handshake(data, zd, event); break;
    case tzSendSInit: next = SendSInit(data, zd); break;
    case tzWaitSInitAck: next = WaitSInitAck(data, zd, event); break;
    case tzGetFile: next = GetFile(data, zd); break;
    case tzSendFile: next = SendFile(data, zd); break;
    case tzCheckFile: next = CheckFile(data, zd, event); break;
    case tzStartData: next = StartData(data, zd); break;
    case tzEscapeData: next = EscapeData(data, zd); break;
    case tzSendData: next = SendData(data, zd, event); break;
    case tzWaitAck: next = WaitAck(data, zd, event); break;
    case tzSendEof: next = SendEof(data, zd); break;
    case tzDrainEof: next = DrainEof(data, zd, event); break;
    case tzCheckEof: next = CheckEof(data, zd, event); break;
    case tzSendFinish: next = SendFinish(data, zd); break;
    case tzChkFinish: next = CheckFinish(data, zd, event); break;
    case tzError: next = Error(data); break;
    case tzCleanup: next = Cleanup(data, zd); break;
    default: next = tzDone; break;
  }
  zd.State = next;
}

}  // namespace qor
