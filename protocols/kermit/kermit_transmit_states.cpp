#include "protocols/kermit/kermit_transmit_states.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "comm/comport/com_port.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_encode.hpp"
#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_params.hpp"
#include "protocols/kermit/kermit_status.hpp"
#include "protocols/kermit/kermit_window.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFatalTimeout = -6006;
constexpr std::int32_t kTooManyErrors = -6007;
constexpr std::int32_t kNoFiles = -6003;

void ArmTimeout(TProtocolData& data, std::int32_t ticks) {
  data.ComPort->ArmTimerTrigger(data.TimeoutTrigger, ticks, true);
}

// Fires once the output buffer is empty.
void ArmOutputDrained(TProtocolData& data) {
  data.ComPort->ArmStatusTrigger(data.OutBuffUsedTrigger, 0, true);
}

// Waits for the output to drain before (re)sending SlotToSend.
std::uint8_t ResendSlot(TProtocolData& data) {
  ArmTimeout(data, data.TransmitTimeout);
  ArmOutputDrained(data);
  return tkSendData;
}

void SendSlot(TProtocolData& data, std::int32_t index) {
  TKermitData& kd = Kermit(data);
  const TKermitSlot& s = Slot(kd, index);
  SendPacketBytes(data, 'D', s.SlotSeq, SlotData(data, index), s.SlotLength, true,
                  CurrentCheckType(kd));
}

// The receiver ended the transfer with an error packet.
std::uint8_t PeerAborted(TProtocolData& data) {
  data.ProtocolStatus = psAbort;
  return tkError;
}

// Opens PathName and reads ahead its first block; the state that follows.
std::uint8_t OpenFile(TProtocolData& data, TKermitData& kd) {
  data.ForceStatus = true;
  data.PrepareReadingProc(data);
  if (data.ProtocolError != 0) return tkError;
  kd.WorkCount = kKermitDataSize;
  data.FileOffset = 0;
  kd.LastReadBlock = data.ReadBlockProc(data, kd.WorkBlock.data(), kd.WorkCount);
  if (data.ProtocolError != 0) return tkError;
  data.FileOffset = kd.WorkCount;
  kd.WorkPos = 1;
  data.LogProc(data, lfTransmitStart);
  data.BlockNumber = NextSeq(data.BlockNumber);
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  data.FileActive = true;
  return tkSendFile;
}

// The name the file header announces. Only the announced name is upper-cased:
// the path itself must stay as it is to be opened on a case-sensitive system.
std::string AnnouncedName(const TProtocolData& data) {
  const std::string path(data.PathName.data(), strnlen(data.PathName.data(), kPathSize));
  std::string name = (data.Options & kOptIncludeDirectory) != 0 ? path : JustFileName(path);
  if (data.UpcaseFileNames) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
  }
  return name;
}

std::uint8_t CollectedInit(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return tkCollInit;
  if (data.ProtocolStatus != psGotData) return tkInit;
  if (kd.RxPacketType == 'E') return PeerAborted(data);
  if (kd.RxPacketType != 'Y') return CountError(data) ? tkError : tkInit;
  NegotiateParams(data, false);
  if (data.ProtocolError != 0) return tkError;
  data.BlockErrors = 0;
  kd.Negotiated = true;
  return tkOpenFile;
}

std::uint8_t CollectedFileReply(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return tkCollFile;
  if (data.ProtocolStatus != psGotData) return tkSendFile;
  if (kd.RxPacketType == 'E' || kd.RxPacketType == 'Z') return PeerAborted(data);
  if (kd.RxPacketType == 'Y' && kd.RxSeq == kd.LastSentSeq) {
    data.BlockErrors = 0;
    kd.TableHead = 1;
    return tkCheckTable;
  }
  return CountError(data) ? tkError : tkSendFile;
}

std::uint8_t CheckTable(TProtocolData& data, TKermitData& kd) {
  if (WindowFull(kd)) {
    ArmTimeout(data, SecsToTicks(kd.LocalParams.TimeoutSecs));
    return tkBlockReply;
  }
  EncodeDataField(data);
  if (data.ProtocolError != 0) {
    KermitCancel(data);
    return tkError;
  }
  if (data.ProtocolStatus == psEndFile) {
    if (kd.SlotsInUse > 0) return tkBlockReply;
    data.BlockNumber = NextSeq(data.BlockNumber);
    return tkSendEof;
  }
  data.BlockNumber = NextSeq(data.BlockNumber);
  kd.TableHead = NextSlot(kd, kd.TableHead);
  std::copy_n(data.DataBlock, kd.TxDataLen, SlotData(data, kd.TableHead));
  UseSlot(kd, kd.TableHead, data.BlockNumber, kd.TxDataLen);
  kd.SlotToSend = kd.TableHead;
  return ResendSlot(data);
}

std::uint8_t SendData(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam) {
  const auto trigger = static_cast<std::int32_t>(wparam);
  if (wparam != 0 && trigger == data.OutBuffUsedTrigger) {
    data.ForceStatus = true;
    SendSlot(data, kd.SlotToSend);
    ArmTimeout(data, data.HandshakeWait);
    return tkBlockReply;
  }
  if (wparam != 0 && trigger == data.TimeoutTrigger) {
    ReportProtocolError(data, kFatalTimeout);
    return tkError;
  }
  return tkSendData;
}

std::uint8_t BlockReply(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoHeader) return tkCheckTable;
  if (data.ProtocolStatus == psGotHeader) {
    StartCollectingData(kd);
    return tkCollBlock;
  }
  // Silence: send the oldest packet again now, and once more when the line
  // has drained.
  const std::int32_t oldest = OldestSlot(kd, data.BlockNumber);
  if (oldest == 0) return tkCheckTable;
  kd.SlotToSend = oldest;
  SendSlot(data, oldest);
  return ResendSlot(data);
}

std::uint8_t NakReceived(TProtocolData& data, TKermitData& kd) {
  if (CountError(data)) return tkError;
  const std::int32_t index = FindSlot(kd, kd.RxSeq);
  if (index != 0) {
    kd.SlotToSend = index;
    if (static_cast<std::uint32_t>(++Slot(kd, index).SlotRetries) < data.HandshakeRetry) {
      return ResendSlot(data);
    }
    // Errors on this slot alone, with acknowledgements of others between them.
    ReportProtocolError(data, data.ProtocolError != 0 ? data.ProtocolError : kTooManyErrors);
    return tkError;
  }
  if (kd.RxSeq == NextSeq(data.BlockNumber)) {
    // A negative acknowledge of the packet after the newest: the newest arrived.
    const std::int32_t newest = FindSlot(kd, data.BlockNumber);
    if (newest != 0) FreeSlot(kd, newest);
    ArmTimeout(data, data.HandshakeWait);
    return tkCheckTable;
  }
  kd.SlotToSend = kd.TableHead;
  return tkCheckTable;
}

std::uint8_t CollectedBlockReply(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return tkCollBlock;
  if (data.ProtocolStatus != psGotData) return ResendSlot(data);
  if (kd.RxPacketType == 'E') return PeerAborted(data);
  if (kd.RxPacketType != 'Y') return NakReceived(data, kd);
  data.BlockErrors = 0;
  const std::uint8_t verdict = kd.RxDataLen > 0 ? data.DataBlock[0] : 0;
  if (verdict == 'D' || verdict == 'X' || verdict == 'Z') {  // the receiver cancels
    data.ProtocolStatus = psCancelRequested;
    return tkError;
  }
  const std::int32_t index = FindSlot(kd, kd.RxSeq);
  if (index != 0) FreeSlot(kd, index);
  ArmTimeout(data, data.HandshakeWait);
  return tkCheckTable;
}

std::uint8_t SendEof(TProtocolData& data, TKermitData& kd) {
  data.ForceStatus = true;
  data.FinishReadingProc(data);
  data.FileActive = false;
  data.LogProc(data, lfTransmitOk);
  kd.TxDataLen = 0;
  SendPacket(data, 'Z');
  ArmTimeout(data, data.HandshakeWait);
  return tkEofReply;
}

std::uint8_t CollectedEofReply(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return tkCollectEof;
  if (data.ProtocolStatus != psGotData) return tkSendEof;
  if (kd.RxPacketType == 'E') return PeerAborted(data);
  if (kd.RxPacketType != 'Y') return CountError(data) ? tkError : tkSendEof;
  data.BlockErrors = 0;
  if (data.NextFileProc(data, data.PathName.data())) {
    KermitResetStatus(data);
    return OpenFile(data, kd);
  }
  data.ProtocolError = 0;
  data.BlockNumber = NextSeq(data.BlockNumber);
  return tkSendBreak;
}

std::uint8_t SendBreak(TProtocolData& data, TKermitData& kd) {
  data.ForceStatus = true;
  kd.TxDataLen = 0;
  SendPacket(data, 'B');
  ArmTimeout(data, data.HandshakeWait);
  return tkBreakReply;
}

std::uint8_t CollectedBreakReply(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return tkCollBreak;
  if (data.ProtocolStatus != psGotData) return tkSendBreak;
  switch (kd.RxPacketType) {
    case 'Y':
      return tkComplete;
    case 'E':
      return PeerAborted(data);
    case 'N':
      return CountError(data) ? tkError : tkSendBreak;
    default:
      data.ProtocolStatus = psProtocolError;
      return tkError;
  }
}

// A state that waits for a reply header.
std::uint8_t ReplyHeader(TProtocolData& data, TKermitData& kd, std::uint8_t collect,
                         std::uint8_t resend) {
  if (data.ProtocolStatus == psNoHeader) return kd.KermitState;
  if (data.ProtocolStatus == psGotHeader) {
    StartCollectingData(kd);
    return collect;
  }
  return resend;
}

std::uint8_t NextState(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam) {
  switch (kd.KermitState) {
    case tkInit:
      data.BlockNumber = 0;
      SendInit(data);
      ArmTimeout(data, data.HandshakeWait);
      return tkInitReply;
    case tkInitReply:
      if (data.ProtocolStatus != psNoHeader && data.ProtocolStatus != psGotHeader) {
        // Silence counts once more here: a time-out costs two errors.
        if (CountError(data)) return tkError;
        FlushInput(data);
        return tkInit;
      }
      return ReplyHeader(data, kd, tkCollInit, tkInit);
    case tkCollInit:
      return CollectedInit(data, kd);
    case tkOpenFile:
      data.ForceStatus = true;
      KermitResetStatus(data);
      if (!data.NextFileProc(data, data.PathName.data())) {
        if (data.ProtocolError == 0) ReportProtocolError(data, kNoFiles);
        return tkError;
      }
      return OpenFile(data, kd);
    case tkSendFile:
      data.ForceStatus = true;
      EncodeText(data, AnnouncedName(data));
      SendPacket(data, 'F');
      ArmTimeout(data, data.HandshakeWait);
      return tkFileReply;
    case tkFileReply:
      if (data.ProtocolStatus != psNoHeader && data.ProtocolStatus != psGotHeader) {
        return CountError(data) ? tkError : tkSendFile;
      }
      return ReplyHeader(data, kd, tkCollFile, tkSendFile);
    case tkCollFile:
      return CollectedFileReply(data, kd);
    case tkCheckTable:
      return CheckTable(data, kd);
    case tkSendData:
      return SendData(data, kd, wparam);
    case tkBlockReply:
      return BlockReply(data, kd);
    case tkCollBlock:
      return CollectedBlockReply(data, kd);
    case tkSendEof:
      return SendEof(data, kd);
    case tkEofReply:
      return ReplyHeader(data, kd, tkCollectEof, tkSendEof);
    case tkCollectEof:
      return CollectedEofReply(data, kd);
    case tkSendBreak:
      return SendBreak(data, kd);
    case tkBreakReply:
      return ReplyHeader(data, kd, tkCollBreak, tkSendBreak);
    case tkCollBreak:
      return CollectedBreakReply(data, kd);
    case tkComplete:
      ShowLastStatus(data);
      kd.KermitState = tkDone;
      FinishProtocol(data);
      return tkDone;
    case tkError:
      data.FinishReadingProc(data);
      data.FileActive = false;
      data.LogProc(data, lfTransmitFail);
      return tkComplete;
    default:
      return tkDone;
  }
}

}  // namespace

void RunTransmitAction(TProtocolData& data, std::uintptr_t wparam) {
  TKermitData& kd = Kermit(data);
  kd.KermitState = NextState(data, kd, wparam);
}

}  // namespace qor
