#include "protocols/zmodem/zmodem_driver.hpp"

#include <exception>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/clock.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFault = -6014;
constexpr std::int32_t kNotSupported = -6015;
constexpr std::int32_t kTrailerRoom = 60;
// How long one call may keep the output fed. One tick of the millisecond
// clock left the line idle between calls: 10 ms took an unpaced upload from
// about 0.6 to about 0.9 of sz's speed, and delays nothing that matters, as
// the input is not moved while the call runs anyway.
constexpr std::uint32_t kStreamMs = 10;

bool GoesOn(TProtocolData& data, TZmodemData& zd, TZPace pace, std::uint32_t started) {
  switch (pace) {
    case TZPace::AtOnce:
      return true;
    case TZPace::WhileInput:
      return InputWaiting(data);
    case TZPace::Stream:
      // The output buffer is kept fed without waiting for its trigger.
      return data.ComPort->OutputFree() >= zd.EscapedLen + kTrailerRoom && !InputWaiting(data) &&
             platform::TimeGetTime() - started < kStreamMs;
    default:
      return false;
  }
}

void RunSteps(const TZDirection& dir, TProtocolData& data, TZmodemData& zd, std::uint32_t msg,
              std::uintptr_t wparam) {
  TZEvent event = EventOf(data, msg, wparam);
  const std::uint32_t started = platform::TimeGetTime();
  bool first = true;
  for (;;) {
    LogZmodemState(data, zd);
    if (zd.State == dir.DoneState) return;
    if (first) {
      first = false;
      if (msg == kMsgProtocolCancel) {
        ZmodemCancel(data);
        zd.State = dir.ErrorState;
      } else if (msg == kMsgTriggerStatus && data.CarrierTrigger != 0 &&
                 wparam == static_cast<std::uintptr_t>(data.CarrierTrigger)) {
        data.ProtocolStatus = psAbortNoCarrier;
        zd.State = dir.ErrorState;
      }
      if (PaceStatus(data, msg, wparam)) return;
    }
    if (dir.WaitsForHeader(zd.State)) {
      if (event == TZEvent::Timeout) {
        data.ProtocolStatus = psTimeout;
      } else if (event != TZEvent::Data) {
        data.ProtocolStatus = psNoHeader;
      } else {
        ReadHeader(data, zd);
        if (data.ProtocolStatus == psCancelRequested) zd.State = dir.ErrorState;
      }
    }
    dir.Step(data, zd, event);
    if (data.ProtocolStatus == psGotHeader || data.ProtocolStatus == psNoHeader) {
      data.ProtocolStatus = psOK;
    }
    if (!GoesOn(data, zd, dir.Pace(zd.State), started)) return;
    event = TZEvent::Data;
  }
}

// The port or memory failed inside a step: end the transfer the usual way,
// without touching the line again.
void Fail(const TZDirection& dir, TProtocolData& data, TZmodemData& zd, std::int32_t code) noexcept {
  if (zd.State == dir.DoneState) return;  // the finish is already under way
  zd.State = dir.DoneState;
  try {
    if (data.ProtocolError == 0) ReportProtocolError(data, code != 0 ? code : kFault);
    dir.CloseAfterFault(data, zd);
    ShowLastStatus(data);
    FinishProtocol(data);
  } catch (...) {
    // Nothing is left to try: the record stays finished.
  }
}

}  // namespace

void RunZmodemHandler(const TZDirection& direction, std::uint32_t msg, std::uintptr_t wparam,
                      std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) return;
  platform::Locker lock(data->Lock);
  auto* zd = dynamic_cast<TZmodemData*>(data->Engine.get());
  if (zd == nullptr || zd->State == direction.DoneState) return;
  try {
    RunSteps(direction, *data, *zd, msg, wparam);
  } catch (const EQORException& e) {
    Fail(direction, *data, *zd, e.ErrorCode());
  } catch (const std::exception&) {
    Fail(direction, *data, *zd, kFault);
  }
}

bool PrepareZmodem(TProtocolData& data, std::uint8_t state) {
  auto* zd = dynamic_cast<TZmodemData*>(data.Engine.get());
  if (zd == nullptr || data.ProtocolType != ptZmodem) {
    ReportProtocolError(data, kNotSupported);
    return false;
  }
  ResetStatus(data);
  data.RemainingCount = 0;
  data.FileLength = 0;
  data.InitialPosition = 0;
  data.SavedStatus = psOK;
  data.FileActive = false;
  data.ForceStatus = true;
  data.BlockLength = zd->StdBlockLen;
  data.ActualBlockLength = 0;
  zd->State = state;
  zd->EscapeAll = false;
  zd->Escaper = TZEscaper(false);
  zd->UseCrc32 = false;
  zd->ReceiverBufLen = 0;
  zd->SinceAck = 0;
  zd->ReducedBlock = false;
  zd->GoodBlocks = 0;
  zd->Position = 0;
  zd->TxEof = false;
  zd->OCount = 0;
  zd->FileOffered = false;
  zd->FrameToSend = ZRINIT;
  zd->SInitFlags = 0;
  // Only this session's sender may set what stops it.
  zd->Attention.fill(0);
  zd->TxHeader = {};
  zd->Reader = TZmodemReader();
  zd->Reader.StartHeader();
  return true;
}

}  // namespace qor
