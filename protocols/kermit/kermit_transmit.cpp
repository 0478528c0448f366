// The Kermit transmitter: the prepare routine and the handler, which runs as
// many rounds of the state machine as the received characters allow.
#include <exception>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_status.hpp"
#include "protocols/kermit/kermit_transmit_states.hpp"
#include "protocols/kermit/kermit_window.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFault = -6014;
constexpr std::int32_t kNotSupported = -6015;

bool IsReplyState(std::uint8_t s) {
  return s == tkInitReply || s == tkFileReply || s == tkBlockReply || s == tkEofReply ||
         s == tkBreakReply;
}

bool IsCollectState(std::uint8_t s) {
  return s == tkCollInit || s == tkCollFile || s == tkCollBlock || s == tkCollectEof ||
         s == tkCollBreak;
}

// What arrived for a state that waits for a reply: a time-out, another
// trigger, or characters for the assemblers.
void TakeReply(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam) {
  const bool header = IsReplyState(kd.KermitState);
  if (!header && !IsCollectState(kd.KermitState)) return;
  TakeIncoming(data, kd, wparam, header, tkError);
}

bool RoundStops(TProtocolData& data, const TKermitData& kd) {
  switch (kd.KermitState) {
    case tkInit:
    case tkOpenFile:
    case tkSendFile:
    case tkCheckTable:
    case tkSendEof:
    case tkSendBreak:
    case tkComplete:
    case tkError:
      return false;
    case tkSendData:
    case tkDone:
      return true;
    case tkBlockReply:
      return (WindowFull(kd) || data.ProtocolStatus == psEndFile) && InputDrained(data);
    default:
      return InputDrained(data);
  }
}

// Sends the discard packet with sequence seq and ends the transfer.
void CancelNow(TProtocolData& data, TKermitData& kd, std::int32_t seq) {
  kd.CancelPending = false;
  data.BlockNumber = PrevSeq(seq);
  KermitCancel(data);
  kd.KermitState = tkError;
}

// While a cancel waits: false when the reply is not complete yet (nothing
// else may go out meanwhile); else the discard has been sent, numbered as
// the reply shows the receiver expects.
bool TakeReplyBeforeCancel(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam) {
  if (IsTrigger(wparam, data.TimeoutTrigger)) {
    CancelNow(data, kd, NextSeq(data.BlockNumber));
    return true;
  }
  TakeReply(data, kd, wparam);
  switch (data.ProtocolStatus) {
    case psGotHeader:
      return true;
    case psGotData:
      CancelNow(data, kd, kd.RxPacketType == 'N' ? kd.RxSeq : NextSeq(kd.RxSeq));
      return true;
    case psNoHeader:
    case psNoData:
      return false;
    default:
      CancelNow(data, kd, NextSeq(data.BlockNumber));
      return true;
  }
}

void RunRounds(TProtocolData& data, TKermitData& kd, std::uint32_t msg, std::uintptr_t wparam) {
  if (msg == kMsgTriggerAvail) {
    ReadAvailable(data);
    wparam = 0;
  }
  for (;;) {
    LogKermitState(data, kd);
    if (kd.KermitState == tkDone) return;
    data.ProtocolStatus = data.SavedStatus;
    if (data.SavedStatus != psCancelRequested) {
      if (IsTrigger(wparam, data.CarrierTrigger)) {
        data.ProtocolStatus = psAbortNoCarrier;
        kd.KermitState = tkError;
      }
      if (msg == kMsgProtocolCancel) {
        // A port that is closing brings no reply: the discard cannot wait.
        const bool line_open = data.ComPort != nullptr && data.ComPort->OpenState() == cpsOpen;
        if (line_open && (IsReplyState(kd.KermitState) || IsCollectState(kd.KermitState))) {
          // A receiver busy with our last packet may throw away what follows
          // it: the discard goes out once the reply is in, or after a time-out.
          if (!kd.CancelPending) {
            data.ComPort->ArmTimerTrigger(data.TimeoutTrigger,
                                          SecsToTicks(kd.LocalParams.TimeoutSecs), true);
          }
          kd.CancelPending = true;
          return;
        }
        // A data packet built but not yet written leaves its number to the
        // discard packet: that is the number the receiver expects next.
        const bool unsent = kd.KermitState == tkSendData && kd.SlotToSend == kd.TableHead &&
                            kd.LastSentSeq != data.BlockNumber;
        CancelNow(data, kd, unsent ? data.BlockNumber : NextSeq(data.BlockNumber));
      }
    }
    if (PaceStatus(data, msg, wparam)) return;
    if (!kd.CancelPending) {
      TakeReply(data, kd, wparam);
    } else if (!TakeReplyBeforeCancel(data, kd, wparam)) {
      data.ProtocolStatus = data.SavedStatus = psOK;
      return;
    }
    RunTransmitAction(data, wparam);
    if (data.ProtocolStatus == psGotHeader) kd.HeaderState = 0;
    if (data.ProtocolStatus >= psNoHeader && data.ProtocolStatus <= psNoData) {
      data.ProtocolStatus = psOK;
    }
    const bool stop = RoundStops(data, kd);
    data.SavedStatus = data.ProtocolStatus;
    wparam = 0;
    if (stop) return;
  }
}

// The port or memory failed inside a round: end the transfer the usual way,
// without touching the line again.
void Fail(TProtocolData& data, TKermitData& kd, std::int32_t code) noexcept {
  if (kd.KermitState == tkDone) return;  // the finish is already under way
  try {
    if (data.ProtocolError == 0) ReportProtocolError(data, code != 0 ? code : kFault);
    kd.KermitState = tkError;
    RunTransmitAction(data, 0);
    RunTransmitAction(data, 0);
  } catch (...) {
    kd.KermitState = tkDone;
  }
}

}  // namespace

void KermitPrepareTransmit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  auto* kd = dynamic_cast<TKermitData*>(data.Engine.get());
  if (kd == nullptr || data.ProtocolType != ptKermit) {
    ReportProtocolError(data, kNotSupported);
    return;
  }
  // Each transfer starts from the settings, not from what the last peer agreed to.
  LoadSettings(data);
  kd->LongPacketsInUse = false;
  kd->HibitQuoting = false;
  kd->RepeatCompression = false;
  kd->InRead = kd->InFill = 1;
  kd->LastReadBlock = false;
  kd->WorkCount = 0;
  kd->WorkPos = 1;
  kd->TableHead = 1;
  kd->SlotToSend = 1;
  data.SavedStatus = psOK;
  data.BlockNumber = 0;
  kd->ReceivingFile = false;
  kd->CancelPending = false;
  data.RemainingCount = 0;
  data.TransferredCount = 0;
  data.TotalErrors = 0;
  data.ForceStatus = true;
  kd->KermitState = tkInit;
  kd->HeaderState = 0;
  ClearSlots(*kd);
  data.ElapsedTicks = 0;
  KermitResetStatus(data);
  data.ProtocolStatus = psProtocolHandshake;
  ShowFirstStatus(data);
  data.FileActive = false;
  kd->Negotiated = false;
}

void KermitTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) return;
  platform::Locker lock(data->Lock);
  auto* kd = dynamic_cast<TKermitData*>(data->Engine.get());
  if (kd == nullptr || kd->KermitState == tkDone) return;
  try {
    RunRounds(*data, *kd, msg, wparam);
  } catch (const EQORException& e) {
    Fail(*data, *kd, e.ErrorCode());
  } catch (const std::exception&) {
    Fail(*data, *kd, kFault);
  }
}

}  // namespace qor
