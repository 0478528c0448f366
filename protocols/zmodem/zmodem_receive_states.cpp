#include "protocols/zmodem/zmodem_receive_states.hpp"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>

#include "comm/comport/com_port.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem_receive_file.hpp"

namespace qor {

namespace {

constexpr std::uint32_t kMaxDataErrors = 20;
constexpr std::int32_t kFirstRequestDelay = 9;  // ticks for the line to settle
constexpr std::uint8_t kNoOption = 0;
constexpr std::uint8_t kProtect = 7;
constexpr TZHeaderBytes kNoBytes{};

bool IsHeader(const TProtocolData& data) { return data.ProtocolStatus == psGotHeader; }
bool IsFailure(const TProtocolData& data, TZEvent event) {
  return event == TZEvent::Timeout || data.ProtocolStatus == psBlockCheckError;
}

std::uint8_t Cancel(TProtocolData& data) {
  ZmodemCancel(data);
  return rzError;
}

// Free bytes where received files go, at most what 32 bits hold.
std::int32_t FreeSpace(const TProtocolData& data) {
  const char* dir = data.DestinationDirectory[0] != 0 ? data.DestinationDirectory.data() : ".";
  struct statvfs fs {};
  if (::statvfs(dir, &fs) != 0) return 0;
  const auto bytes = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  return static_cast<std::int32_t>(std::min<std::uint64_t>(bytes, INT32_MAX));
}

std::uint8_t SendRequest(TProtocolData& data, TZmodemData& zd) {
  if (zd.FrameToSend == ZSKIP) {
    SendHexHeader(data, ZSKIP, kNoBytes);
  } else {
    SendHexHeader(data, ZRINIT, zd.TxHeader);
  }
  zd.FrameToSend = ZRINIT;
  ArmTimeout(data, data.HandshakeWait);
  return rzWaitFile;
}

// Asks for the next file (or says the last one is skipped): at the start
// after a pause that lets the line settle, between files at once.
std::uint8_t RequestFile(TProtocolData& data, TZmodemData& zd, std::int32_t delay) {
  const std::uint8_t flags = kZReceiverFlags | (zd.EscControlRequested ? kZEscapeControl : 0);
  zd.TxHeader = {0, 0, 0, flags};
  // What a ZSINIT asked for holds for the whole session.
  zd.EscapeAll = zd.EscControlRequested || (zd.SInitFlags & kZEscapeControl) != 0;
  zd.Escaper = TZEscaper(zd.EscapeAll);
  if (delay == 0) return SendRequest(data, zd);
  ArmTimeout(data, delay);
  return rzDelay;
}

// The pause ends early when the line brings something: a sender that is
// already talking is waiting for our ZRINIT.
std::uint8_t Delay(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  return event == TZEvent::Timeout || InputWaiting(data) ? SendRequest(data, zd)
                                                         : std::uint8_t{rzDelay};
}

std::uint8_t WaitFile(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) {
    if (CountRetry(data, data.HandshakeRetry)) return rzCleanup;
    return RequestFile(data, zd, 0);
  }
  if (!IsHeader(data)) return rzWaitFile;
  ArmTimeout(data, data.HandshakeWait);
  const TZmodemReader& r = zd.Reader;
  switch (r.Type) {
    case ZRQINIT:
      // The sender is there and asking: a second pause for the line to
      // settle would only keep it waiting (and let its answer to our first
      // ZRINIT go unread).
      return RequestFile(data, zd, 0);
    case ZSINIT:
      zd.SInitFlags = r.Bytes[3];
      StartReadingData(data, zd);
      zd.SkipChars = 2;
      return r.Format == 'B' ? rzSndBlkPrp : rzSendBlock;
    case ZFILE:
      zd.Conversion = r.Bytes[3];
      zd.Transport = r.Bytes[1];
      zd.FileManagement = zd.OptionOverride ? zd.FileOption : r.Bytes[2];
      if ((zd.FileManagement & 0x7F) == kNoOption) {
        zd.FileManagement = static_cast<std::uint8_t>((zd.FileManagement & kZmodemSkipNoFile) | kProtect);
      }
      if (zd.Recover) zd.Conversion = kZmodemResume;
      ResetStatus(data);
      StartReadingData(data, zd);
      return rzCollFile;
    case ZFIN:
    case ZCOMPL:
      return rzSendFinish;
    case ZFREECNT:
      SendHexHeader(data, ZACK, PositionBytes(FreeSpace(data)));
      return rzWaitFile;
    case ZCOMMAND:
      SendHexHeader(data, ZNAK, kNoBytes);
      return rzWaitFile;
    default:
      return rzWaitFile;
  }
}

// The data subpacket of ZFILE or ZSINIT, read in state; done: the state
// after a good one; on a time-out the sender is sent a ZNAK and the machine
// goes on in silent.
std::uint8_t HeaderData(TProtocolData& data, TZmodemData& zd, TZEvent event, std::uint8_t state,
                        std::uint8_t done, std::uint8_t silent) {
  if (event == TZEvent::Timeout) {
    if (CountRetry(data, data.HandshakeRetry)) return rzCleanup;
    SendHexHeader(data, ZNAK, kNoBytes);
    ArmTimeout(data, data.HandshakeWait);
    return silent;
  }
  if (event != TZEvent::Data) return state;
  ReadData(data, zd);
  switch (data.ProtocolStatus) {
    case psOK:
      return state;
    case psCancelRequested:
      return rzError;
    case psBlockCheckError:
    case psLongPacket:
      ++data.TotalErrors;
      return RequestFile(data, zd, 0);
    default:
      return done;
  }
}

std::uint8_t SndBlkPrp(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (event == TZEvent::Timeout) {
    if (CountRetry(data, data.HandshakeRetry)) return rzCleanup;
    return RequestFile(data, zd, 0);
  }
  while (zd.SkipChars > 0 && InputWaiting(data)) {
    static_cast<void>(data.ComPort->ReadChar());
    --zd.SkipChars;
  }
  return zd.SkipChars > 0 ? rzSndBlkPrp : rzSendBlock;
}

std::uint8_t SendInit(TProtocolData& data, TZmodemData& zd) {
  zd.Attention.fill(0);
  const auto n = std::min<std::int32_t>(zd.Reader.DataLen, kZmodemAttentionSize - 1);
  std::memcpy(zd.Attention.data(), data.DataBlock, static_cast<std::size_t>(n));
  zd.EscapeAll = zd.EscControlRequested || (zd.SInitFlags & kZEscapeControl) != 0;
  zd.Escaper = TZEscaper(zd.EscapeAll);
  SendHexHeader(data, ZACK, kNoBytes);
  ArmTimeout(data, data.HandshakeWait);
  return rzWaitFile;
}

std::uint8_t Skipped(TProtocolData& data, TZmodemData& zd) {
  zd.FrameToSend = ZSKIP;
  data.ProtocolStatus = psSkipFile;
  data.ForceStatus = true;
  data.LogProc(data, lfReceiveSkip);
  return RequestFile(data, zd, 0);
}

std::uint8_t Opened(TProtocolData& data) {
  if (data.ProtocolError != 0) return Cancel(data);
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  data.ForceStatus = true;
  data.BlockErrors = 0;
  return rzSync;
}

std::uint8_t StartFile(TProtocolData& data, TZmodemData& zd) {
  const bool named = TakeFileInformation(data, zd, zd.Reader.DataLen);
  data.ProtocolStatus = psOK;
  data.LogProc(data, lfReceiveStart);
  if (!named) return Cancel(data);
  if (!data.AcceptFileProc(data, data.PathName.data())) return Skipped(data, zd);
  data.PrepareWritingProc(data);
  if (data.ProtocolError != 0) return Cancel(data);
  switch (data.ProtocolStatus) {
    case psFileDoesntExist:
    case psCantWriteFile:
      return Skipped(data, zd);
    case psTryResume:
      data.ProtocolStatus = psOK;
      SendHexHeader(data, ZCRC, PositionBytes(zd.ResumeAt));
      ArmTimeout(data, data.HandshakeWait);
      return rzWaitCrc;
    default:
      return Opened(data);
  }
}

// The sender's CRC of the bytes we hold decides: the same, and the file goes
// on where it ends; else it is received again from its start.
std::uint8_t WaitCrc(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  const bool answered = IsHeader(data) && zd.Reader.Type == ZCRC;
  if (!answered) {
    if (IsHeader(data) && zd.Reader.Type == ZFILE) return rzWaitCrc;  // our request crossed it
    if (!IsFailure(data, event) && !IsHeader(data)) return rzWaitCrc;
    if (!CountRetry(data, data.HandshakeRetry)) {
      SendHexHeader(data, ZCRC, PositionBytes(zd.ResumeAt));
      ArmTimeout(data, data.HandshakeWait);
      return rzWaitCrc;
    }
    return rzError;
  }
  const auto theirs = static_cast<std::uint32_t>(HeaderPosition(zd));
  const std::uint32_t ours = LocalFileCrc(data, zd.ResumeAt);
  if (data.ProtocolError != 0) return Cancel(data);
  OpenReceivedFile(data, zd, theirs == ours ? zd.ResumeAt : 0);
  return Opened(data);
}

std::uint8_t Sync(TProtocolData& data, TZmodemData& zd) {
  DiscardInput(data);
  SendHexHeader(data, ZRPOS, PositionBytes(zd.Position));
  data.RemainingCount = data.FileLength - zd.Position;
  data.TransferredCount = zd.Position;
  ArmTimeout(data, data.HandshakeWait);
  return rzStartData;
}

// A data error: the sender is interrupted and asked to go back.
std::uint8_t Resync(TProtocolData& data, std::uint32_t limit) {
  if (CountRetry(data, limit)) return rzError;
  SendAttention(data);
  return rzSync;
}

std::uint8_t EndOfFile(TProtocolData& data, TZmodemData& zd) {
  if (HeaderPosition(zd) != zd.Position) return rzSync;
  data.ProtocolStatus = psEndFile;
  data.StatusProc(data, kStatusPlain);
  data.FinishWritingProc(data);
  if (data.ProtocolError != 0) {
    data.LogProc(data, lfReceiveFail);
    return Cancel(data);
  }
  data.LogProc(data, lfReceiveOk);
  data.BlockErrors = 0;
  return RequestFile(data, zd, 0);
}

std::uint8_t StartData(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, data.HandshakeRetry) ? rzError : rzSync;
  if (!IsHeader(data)) return rzStartData;
  switch (zd.Reader.Type) {
    case ZFILE:
      return rzSync;
    case ZNAK:
      return CountRetry(data, kMaxDataErrors) ? rzError : rzSync;
    case ZDATA:
      if (HeaderPosition(zd) == zd.Position) {
        ArmTimeout(data, data.HandshakeWait);
        StartReadingData(data, zd);
        return rzCollData;
      }
      return Resync(data, kMaxDataErrors);
    case ZEOF:
      return EndOfFile(data, zd);
    default:
      return Resync(data, kMaxDataErrors);
  }
}

// Writes the subpacket just read; false when that failed (cancelled).
bool WriteData(TProtocolData& data, TZmodemData& zd) {
  const std::int32_t len = zd.Reader.DataLen;
  data.FileOffset = zd.Position;
  data.WriteBlockProc(data, data.DataBlock, len);
  if (data.ProtocolError != 0) return false;
  zd.Position += len;
  data.FileOffset = zd.Position;  // what closing the file writes out up to
  data.TransferredCount += len;
  data.RemainingCount -= len;
  data.ActualBlockLength = len;
  data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  data.BlockErrors = 0;
  return true;
}

std::uint8_t CollData(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (event == TZEvent::Timeout) return Resync(data, kMaxDataErrors - 1);
  if (event != TZEvent::Data) return rzCollData;
  ArmTimeout(data, data.HandshakeWait);
  // Subpackets one after the other, as long as characters wait.
  for (;;) {
    ReadData(data, zd);
    const std::int32_t status = data.ProtocolStatus;
    switch (status) {
      case psOK:
        return rzCollData;
      case psCancelRequested:
        return rzError;
      case psBlockCheckError:
      case psLongPacket:
        return Resync(data, kMaxDataErrors - 1);
      default:
        break;
    }
    if (!WriteData(data, zd)) return Cancel(data);
    data.ForceStatus = true;
    data.ProtocolStatus = psOK;
    switch (status) {
      case psGotCrcE:
        zd.Reader.StartHeader();
        return rzWaitEof;
      case psGotCrcW:
        SendHexHeader(data, ZACK, PositionBytes(zd.Position));
        zd.Reader.StartHeader();
        return rzStartData;
      case psGotCrcQ:
        SendHexHeader(data, ZACK, PositionBytes(zd.Position));
        break;
      default:
        break;
    }
    StartReadingData(data, zd);
  }
}

std::uint8_t WaitEof(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (IsFailure(data, event)) return CountRetry(data, data.HandshakeRetry) ? rzError : rzSync;
  if (!IsHeader(data)) return rzWaitEof;
  if (zd.Reader.Type == ZEOF) return EndOfFile(data, zd);
  return Resync(data, kMaxDataErrors);
}

std::uint8_t SendFinish(TProtocolData& data, TZmodemData& zd) {
  SendHexHeader(data, ZFIN, kNoBytes);
  ArmTimeout(data, data.FinishWait);
  zd.OCount = 0;
  return rzCollFin;
}

std::uint8_t CollFin(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  if (event == TZEvent::Timeout) {
    ++data.TotalErrors;
    return ++data.BlockErrors <= zd.FinishRetry ? rzSendFinish : rzCleanup;
  }
  while (InputWaiting(data)) {
    if (data.ComPort->ReadChar() == 'O' && ++zd.OCount == 2) return rzCleanup;
  }
  return rzCollFin;
}

std::uint8_t Error(TProtocolData& data) {
  if (data.FileOpen) {
    const std::int32_t cause = data.ProtocolError;
    data.FinishWritingProc(data);
    if (cause != 0) data.ProtocolError = cause;
    data.LogProc(data, lfReceiveFail);
  }
  if (data.ComPort->OutputUsed() > 0) {
    ArmTimeout(data, data.TransmitTimeout);
    data.ComPort->ArmStatusTrigger(data.OutBuffUsedTrigger, 0, true);
    return rzWaitCancel;
  }
  return rzCleanup;
}

std::uint8_t Cleanup(TProtocolData& data, TZmodemData& zd) {
  ShowLastStatus(data);
  DiscardInput(data);
  zd.State = rzDone;
  FinishProtocol(data);
  return rzDone;
}

}  // namespace

bool ReceiveWaitsForHeader(std::uint8_t state) {
  return state == rzWaitFile || state == rzStartData || state == rzWaitEof || state == rzWaitCrc;
}

TZPace ReceivePace(std::uint8_t state) {
  switch (state) {
    case rzDelay:
    case rzWaitCancel:
    case rzDone:
      return TZPace::Wait;
    case rzWaitFile:
    case rzCollFile:
    case rzSndBlkPrp:
    case rzSendBlock:
    case rzStartData:
    case rzCollData:
    case rzWaitEof:
    case rzCollFin:
    case rzWaitCrc:
      return TZPace::WhileInput;
    default:
      return TZPace::AtOnce;
  }
}

void RunReceiveStep(TProtocolData& data, TZmodemData& zd, TZEvent event) {
  std::uint8_t next = zd.State;
  switch (zd.State) {
    case rzRqstFile: next = RequestFile(data, zd, kFirstRequestDelay); break;
    case rzDelay: next = Delay(data, zd, event); break;
    case rzWaitFile: next = WaitFile(data, zd, event); break;
    case rzCollFile: next = HeaderData(data, zd, event, rzCollFile, rzStartFile, rzCollFile); break;
    case rzSndBlkPrp: next = SndBlkPrp(data, zd, event); break;
    case rzSendBlock: next = HeaderData(data, zd, event, rzSendBlock, rzSendInit, rzWaitFile); break;
    case rzSendInit: next = SendInit(data, zd); break;
    case rzStartFile: next = StartFile(data, zd); break;
    case rzWaitCrc: next = WaitCrc(data, zd, event); break;
    case rzSync: next = Sync(data, zd); break;
    case rzStartData: next = StartData(data, zd, event); break;
    case rzCollData: next = CollData(data, zd, event); break;
    case rzWaitEof: next = WaitEof(data, zd, event); break;
    case rzSendFinish: next = SendFinish(data, zd); break;
    case rzCollFin: next = CollFin(data, zd, event); break;
    case rzError: next = Error(data); break;
    case rzWaitCancel: next = rzCleanup; break;
    case rzCleanup: next = Cleanup(data, zd); break;
    default: next = rzDone; break;
  }
  zd.State = next;
}

}  // namespace qor
