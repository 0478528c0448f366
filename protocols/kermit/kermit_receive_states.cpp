#include "protocols/kermit/kermit_receive_states.hpp"

#include <string_view>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_params.hpp"
#include "protocols/kermit/kermit_receive_file.hpp"
#include "protocols/kermit/kermit_receive_window.hpp"
#include "protocols/kermit/kermit_status.hpp"

namespace qor {

namespace {

constexpr std::string_view kOutOfStepText = "Failed to syncronize protocol";

// The sender ended the transfer with an error packet.
std::uint8_t PeerAborted(TProtocolData& data) {
  data.ProtocolStatus = psAbort;
  return rkError;
}

// A state that waits for a header: stays while it is incomplete, collects
// once it is complete; false after a time-out.
bool HeaderArrived(TProtocolData& data, TKermitData& kd, std::uint8_t collect,
                   std::uint8_t& next) {
  if (data.ProtocolStatus == psNoHeader) {
    next = kd.KermitState;
    return true;
  }
  if (data.ProtocolStatus == psGotHeader) {
    StartCollectingData(kd);
    next = collect;
    return true;
  }
  return false;
}

// Answers a Send-Init with our parameters; false when they cannot be combined.
bool AnswerSendInit(TProtocolData& data, TKermitData& kd) {
  NegotiateParams(data, true);
  if (data.ProtocolError != 0) {
    kd.Negotiated = false;
    return false;
  }
  SendInitAck(data);
  kd.Negotiated = true;
  data.BlockErrors = 0;
  ArmHandshakeWait(data);
  return true;
}

// The sender repeated a packet we answered: answer it again, up to the error
// limit; true when the transfer must end.
bool AnswerRepeat(TProtocolData& data, TKermitData& kd) {
  SendAck(data, kd.RxSeq);
  if (!CountError(data)) return false;
  SendError(data, kOutOfStepText);
  return true;
}

std::uint8_t CollectedInit(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return rkCollInit;
  if (data.ProtocolStatus == psGotData && kd.RxPacketType == 'E') return PeerAborted(data);
  if (data.ProtocolStatus == psGotData && kd.RxPacketType == 'S') {
    return AnswerSendInit(data, kd) ? rkGetFile : rkError;
  }
  ArmHandshakeWait(data);
  return rkGetInit;
}

std::uint8_t CollectedFileHeader(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return rkCollFile;
  if (data.ProtocolStatus != psGotData) {
    SendNak(data, data.BlockNumber);
    ArmHandshakeWait(data);
    return rkGetFile;
  }
  switch (kd.RxPacketType) {
    case 'F':
      return AcceptFile(data);
    case 'B':
      SendAck(data, kd.RxSeq);
      return rkComplete;
    case 'S':  // our answer to the Send-Init was lost
      return AnswerSendInit(data, kd) ? rkGetFile : rkError;
    case 'X':
      return rkGetFile;
    case 'Z':  // our acknowledge of the end of file was lost
      return AnswerRepeat(data, kd) ? rkError : rkGetFile;
    case 'E':
      return PeerAborted(data);
    default:
      data.ProtocolStatus = psProtocolError;
      return rkError;
  }
}

std::uint8_t DataPacket(TProtocolData& data, TKermitData& kd) {
  data.ForceStatus = true;
  // Longer than agreed: it would not fit its slot. Asked for again, as a
  // damaged packet would be.
  if (kd.RxDataLen > data.BlockLength) {
    if (CountError(data)) return rkError;
    SendNak(data, kd.RxSeq);
    ArmHandshakeWait(data);
    return rkGetData;
  }
  StoreDataPacket(data);
  if (data.ProtocolError != 0) return FileFailed(data);
  data.BlockErrors = 0;
  ArmHandshakeWait(data);
  return rkGetData;
}

std::uint8_t CollectedData(TProtocolData& data, TKermitData& kd) {
  if (data.ProtocolStatus == psNoData) return rkCollData;
  if (data.ProtocolStatus != psGotData) {
    if (kd.TableSize == 1) SendNak(data, data.BlockNumber);
    ArmHandshakeWait(data);
    return rkGetData;
  }
  switch (kd.RxPacketType) {
    case 'D':
      return DataPacket(data, kd);
    case 'F':  // our acknowledge of the file header was lost
      if (AnswerRepeat(data, kd)) return rkError;
      ArmHandshakeWait(data);
      return rkGetData;
    case 'Z':
      return EndOfFile(data);
    case 'E':
      return PeerAborted(data);
    default:
      return rkGetData;
  }
}

std::uint8_t NextState(TProtocolData& data, TKermitData& kd) {
  std::uint8_t next = kd.KermitState;
  switch (kd.KermitState) {
    case rkInit:
      data.BlockNumber = 0;
      ArmHandshakeWait(data);
      kd.RxLen = 0;
      return rkGetInit;
    case rkGetInit:
      if (HeaderArrived(data, kd, rkCollInit, next)) return next;
      ArmHandshakeWait(data);
      return rkGetInit;
    case rkCollInit:
      return CollectedInit(data, kd);
    case rkGetFile:
      if (HeaderArrived(data, kd, rkCollFile, next)) return next;
      SendNak(data, data.BlockNumber);
      ArmHandshakeWait(data);
      return rkGetFile;
    case rkCollFile:
      return CollectedFileHeader(data, kd);
    case rkGetData:
      if (HeaderArrived(data, kd, rkCollData, next)) return next;
      ArmHandshakeWait(data);
      return rkGetData;
    case rkCollData:
      return CollectedData(data, kd);
    case rkComplete:
      kd.KermitState = rkDone;
      ShowLastStatus(data);
      FlushInput(data);
      FinishProtocol(data);
      return rkDone;
    case rkError: {
      // The first failure is the one to report, not a second one on closing.
      const std::int32_t cause = data.ProtocolError;
      data.FinishWritingProc(data);
      if (cause != 0) data.ProtocolError = cause;
      data.LogProc(data, kd.FileRejected ? lfReceiveSkip : lfReceiveFail);
      FlushInput(data);
      return rkComplete;
    }
    default:
      return rkDone;
  }
}

}  // namespace

void ArmHandshakeWait(TProtocolData& data) {
  data.ComPort->ArmTimerTrigger(data.TimeoutTrigger, data.HandshakeWait, true);
}

void RunReceiveAction(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  kd.KermitState = NextState(data, kd);
}

}  // namespace qor
