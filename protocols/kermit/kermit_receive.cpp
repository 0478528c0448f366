// The Kermit receiver: the prepare routine and the handler, which runs as many
// rounds of the state machine as the received characters allow.
#include <exception>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_receive_states.hpp"
#include "protocols/kermit/kermit_status.hpp"
#include "protocols/kermit/kermit_window.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFault = -6014;
constexpr std::int32_t kNotSupported = -6015;

bool IsHeaderState(std::uint8_t s) { return s == rkGetInit || s == rkGetFile || s == rkGetData; }

bool IsCollectState(std::uint8_t s) {
  return s == rkCollInit || s == rkCollFile || s == rkCollData;
}

// What arrived for a state that waits for a packet: a time-out, another
// trigger, or characters for the assemblers.
void TakePacket(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam) {
  const bool header = IsHeaderState(kd.KermitState);
  if (!header && !IsCollectState(kd.KermitState)) return;
  TakeIncoming(data, kd, wparam, header, rkError);
}

// A packet whose data is being collected is announced once all of it is there.
void AskForPacketRest(TProtocolData& data, const TKermitData& kd) {
  AskForInput(data, IsCollectState(kd.KermitState) ? DataBytesMissing(kd) : 0);
}

bool RoundStops(TProtocolData& data, const TKermitData& kd) {
  switch (kd.KermitState) {
    case rkInit:
    case rkComplete:
    case rkError:
      return false;
    case rkDone:
      return true;
    default:
      return InputDrained(data);
  }
}

void RunRounds(TProtocolData& data, TKermitData& kd, std::uint32_t msg, std::uintptr_t wparam) {
  if (msg == kMsgTriggerAvail) {
    ReadAvailable(data);
    wparam = 0;
  }
  for (;;) {
    LogKermitState(data, kd);
    if (kd.KermitState == rkDone) return;
    data.ProtocolStatus = data.SavedStatus;
    if (data.SavedStatus != psCancelRequested) {
      if (IsTrigger(wparam, data.CarrierTrigger)) {
        data.ProtocolStatus = psAbortNoCarrier;
        kd.KermitState = rkError;
      }
      if (msg == kMsgProtocolCancel) {
        KermitCancel(data);
        kd.KermitState = rkError;
      }
    }
    if (PaceStatus(data, msg, wparam)) return;
    TakePacket(data, kd, wparam);
    RunReceiveAction(data);
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

// The port or memory failed inside a round: close the file and finish the
// usual way, without touching the line again.
void Fail(TProtocolData& data, TKermitData& kd, std::int32_t code) noexcept {
  if (kd.KermitState == rkDone) return;  // the finish is already under way
  kd.KermitState = rkDone;
  try {
    if (data.ProtocolError == 0) ReportProtocolError(data, code != 0 ? code : kFault);
    const std::int32_t cause = data.ProtocolError;
    data.FinishWritingProc(data);
    data.ProtocolError = cause;
    data.LogProc(data, kd.FileRejected ? lfReceiveSkip : lfReceiveFail);
    AskForPacketRest(data, kd);
    ShowLastStatus(data);
    FinishProtocol(data);
  } catch (...) {
    // Nothing is left to try: the record stays finished.
  }
}

}  // namespace

void KermitPrepareReceive(TProtocolData& data) {
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
  kd->RxPacketType = ' ';
  kd->FileRejected = false;
  data.SavedStatus = psOK;
  data.BlockNumber = 0;
  kd->ReceivingFile = false;
  data.RemainingCount = 0;
  data.TransferredCount = 0;
  data.TotalErrors = 0;
  data.ForceStatus = true;
  kd->KermitState = rkInit;
  kd->HeaderState = 0;
  ClearSlots(*kd);
  data.ElapsedTicks = 0;
  KermitResetStatus(data);
  data.ProtocolStatus = psProtocolHandshake;
  ShowFirstStatus(data);
  kd->TableHead = 1;
  kd->TableTail = 1;
  data.FileActive = false;
  kd->Negotiated = false;
}

void KermitReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) return;
  platform::Locker lock(data->Lock);
  auto* kd = dynamic_cast<TKermitData*>(data->Engine.get());
  if (kd == nullptr || kd->KermitState == rkDone) return;
  try {
    RunRounds(*data, *kd, msg, wparam);
    AskForPacketRest(*data, *kd);
  } catch (const EQORException& e) {
    Fail(*data, *kd, e.ErrorCode());
  } catch (const std::exception&) {
    Fail(*data, *kd, kFault);
  }
}

}  // namespace qor
