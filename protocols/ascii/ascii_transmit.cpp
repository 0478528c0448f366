// The ASCII transmitter: the file goes out as it is, block by block, with the
// line-end translations and the pacing delays.
#include <algorithm>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/clock.hpp"
#include "comm/ticks.hpp"
#include "protocols/ascii/ascii.hpp"
#include "protocols/ascii/ascii_frame.hpp"
#include "protocols/ascii/ascii_text.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFatalTimeout = -6006;

void SendToPort(TProtocolData& data, const std::uint8_t* bytes, std::size_t count) {
  data.ComPort->SendBlock(bytes, static_cast<std::uint16_t>(count));
}

// Waits by the clock, so that the line sees the delay whatever the sleep's grain.
void WaitMs(std::uint32_t ms) {
  const std::uint32_t start = platform::TimeGetTime();
  for (std::uint32_t passed = 0; passed < ms; passed = platform::TimeGetTime() - start) {
    platform::Sleep(ms - passed);
  }
}

std::uint8_t Start(TProtocolData& data) {
  data.LogProc(data, lfTransmitStart);
  data.PrepareReadingProc(data);
  if (data.ProtocolError != 0) return taFinished;
  ArmAsciiTimer(data, data.TransmitTimeout);
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  return taGetBlock;
}

std::uint8_t GetBlock(TProtocolData& data, TAsciiData& ad) {
  std::int32_t count = AsciiBlockLimit(data);
  const bool last = data.ReadBlockProc(data, ad.Buffer.data(), count);
  if (data.ProtocolError != 0 || count <= 0) return taFinished;
  ad.EndOfFile = last;
  ad.BlockCount = count;
  ad.SendIndex = 0;
  ArmAsciiTimer(data, data.TransmitTimeout);
  // Room for the whole block, line ends that become two bytes included.
  const bool adds = ad.CRTranslation == aetAddLFAfter || ad.LFTranslation == aetAddCRBefore;
  data.ComPort->ArmStatusTrigger(data.OutBuffFreeTrigger, count * (adds ? 2 : 1) + 1, true);
  return taWaitFrSpc;
}

std::uint8_t SendBlock(TProtocolData& data, TAsciiData& ad) {
  const TAsciiLine line{
      [&data](const std::uint8_t* bytes, std::size_t count) { SendToPort(data, bytes, count); },
      &WaitMs};
  std::int32_t delay_ticks = 0;
  if (SendBlockStep(data, ad, line, delay_ticks) == TSendStepEnd::Delay) {
    ArmAsciiTimer(data, delay_ticks);
    return taSendDelay;
  }
  ++data.BlockNumber;
  data.FileOffset += ad.BlockCount;
  data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  data.ForceStatus = true;
  if (!ad.EndOfFile) return taGetBlock;
  ArmAsciiTimer(data, data.TransmitTimeout);
  data.ComPort->ArmStatusTrigger(data.OutBuffUsedTrigger, 0, true);
  return taFinDrain;
}

std::uint8_t Finish(TProtocolData& data) {
  if (data.ProtocolError != 0 && data.ComPort != nullptr && data.ComPort->OpenState() == cpsOpen) {
    try {
      data.ComPort->ClearInput();
    } catch (const EQORException&) {
      // A port failing at the end has nothing left worth flushing; the end goes on.
    }
  }
  data.FinishReadingProc(data);
  data.LogProc(data, data.ProtocolError != 0 ? lfTransmitFail : lfTransmitOk);
  ShowLastStatus(data);
  FinishProtocol(data);
  return taDone;
}

std::uint8_t TransmitStep(TProtocolData& data, TAsciiData& ad, TAsciiEvent event) {
  switch (ad.State) {
    case taInitial:
      return Start(data);
    case taGetBlock:
      return GetBlock(data, ad);
    case taWaitFrSpc:
      if (event == TAsciiEvent::OutFree) return taSendBlock;
      if (event == TAsciiEvent::Timer) {
        // The line took nothing for the whole time-out: the file did not go.
        ReportProtocolError(data, kFatalTimeout);
        return taFinished;
      }
      return taWaitFrSpc;
    case taSendBlock:
      return SendBlock(data, ad);
    case taSendDelay:
      return event == TAsciiEvent::Timer ? taSendBlock : taSendDelay;
    case taFinDrain:
      if (event == TAsciiEvent::OutEmpty) {
        data.ProtocolStatus = psEndFile;
        return taFinished;
      }
      if (event == TAsciiEvent::Timer) {
        ReportProtocolError(data, kFatalTimeout);
        return taFinished;
      }
      return taFinDrain;
    case taFinished:
      return Finish(data);
    default:
      return taDone;
  }
}

bool TransmitGoesOn(TProtocolData&, const TAsciiData& ad, TAsciiEvent& next) {
  next = TAsciiEvent::Other;
  return ad.State == taInitial || ad.State == taGetBlock || ad.State == taSendBlock ||
         ad.State == taFinished;
}

constexpr TAsciiMachine kTransmit{&TransmitStep, &TransmitGoesOn, taFinished, taDone};

}  // namespace

void AsciiPrepareTransmit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPartToPrepare(data);
  if (ad == nullptr) return;
  ResetStatus(data);
  ShowFirstStatus(data);
  if (!data.NextFileProc(data, data.PathName.data())) {
    ShowLastStatus(data);
    ad->State = taDone;
    // Nothing to send is the end of the transfer, not a transfer that never ends.
    if (data.ProtocolError == 0) FinishProtocol(data);
    return;
  }
  ad->EndOfFile = false;
  data.BlockNumber = 0;
  data.ProtocolError = 0;
  data.FileOffset = 0;
  ad->State = taInitial;
  data.ForceStatus = true;
}

void AsciiTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunAsciiHandler(kTransmit, msg, wparam, lparam);
}

}  // namespace qor
