#include "protocols/ascii/ascii_frame.hpp"

#include <exception>

#include "comm/comport/com_port.hpp"
#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/errors/exceptions.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kFault = -6014;
constexpr std::int32_t kNotSupported = -6015;
constexpr std::int32_t kCancelled = -6005;
constexpr std::int32_t kCarrierLost = -6014;
constexpr std::uint16_t kStateLogBase = 229;  // sub-kinds of the ASCII state names

bool Names(std::uintptr_t wparam, std::int32_t handle) {
  return handle != 0 && wparam == static_cast<std::uintptr_t>(handle);
}

TAsciiEvent EventOf(const TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
  switch (msg) {
    case 0:
      return TAsciiEvent::Start;
    case kMsgTriggerAvail:
      return TAsciiEvent::Data;
    case kMsgTriggerTimer:
      return Names(wparam, data.TimeoutTrigger) ? TAsciiEvent::Timer : TAsciiEvent::Other;
    case kMsgTriggerStatus:
      if (Names(wparam, data.OutBuffFreeTrigger)) return TAsciiEvent::OutFree;
      if (Names(wparam, data.OutBuffUsedTrigger)) return TAsciiEvent::OutEmpty;
      return TAsciiEvent::Other;
    default:
      return TAsciiEvent::Other;
  }
}

void LogState(TProtocolData& data, const TAsciiData& ad) {
  TQorBaseDispatcher* dispatcher = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr;
  if (dispatcher != nullptr && dispatcher->Logging()) {
    dispatcher->AddLogEntry(dlkAscii, static_cast<std::uint16_t>(kStateLogBase + ad.State), 0);
  }
}

// The transfer ends early: the finished state reports it. The code is set
// here, not only mapped at the finish, so that the history says it failed.
void Abort(TProtocolData& data, TAsciiData& ad, const TAsciiMachine& machine,
           std::int32_t status, std::int32_t code) {
  data.ProtocolStatus = status;
  if (data.ProtocolError == 0) data.ProtocolError = code;
  FlushAsciiOutput(data);
  ad.State = machine.Finished;
}

void RunSteps(const TAsciiMachine& machine, TProtocolData& data, TAsciiData& ad,
              TAsciiEvent event) {
  for (;;) {
    LogState(data, ad);
    ad.State = machine.Step(data, ad, event);
    if (ad.State == machine.Done || !machine.GoesOn(data, ad, event)) return;
  }
}

// The port or memory failed inside a step: end the transfer the usual way.
void Fail(const TAsciiMachine& machine, TProtocolData& data, TAsciiData& ad,
          std::int32_t code) noexcept {
  if (ad.State == machine.Done) return;
  try {
    if (data.ProtocolError == 0) ReportProtocolError(data, code != 0 ? code : kFault);
    ad.State = machine.Finished;
    RunSteps(machine, data, ad, TAsciiEvent::Other);
  } catch (...) {
    ad.State = machine.Done;
    FinishProtocol(data);
  }
}

}  // namespace

void ArmAsciiTimer(TProtocolData& data, std::int32_t ticks) {
  data.ComPort->ArmTimerTrigger(data.TimeoutTrigger, ticks, true);
}

void FlushAsciiOutput(TProtocolData& data) {
  if (data.ComPort != nullptr && data.ComPort->OpenState() == cpsOpen) data.ComPort->ClearOutput();
}

TAsciiData* AsciiPartToPrepare(TProtocolData& data) {
  TAsciiData* ad = AsciiPart(data);
  if (ad == nullptr) ReportProtocolError(data, kNotSupported);
  return ad;
}

void RunAsciiHandler(const TAsciiMachine& machine, std::uint32_t msg, std::uintptr_t wparam,
                     std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) return;
  platform::Locker lock(data->Lock);
  TAsciiData* ad = AsciiPart(*data);
  if (ad == nullptr || ad->State == machine.Done) return;
  try {
    if (msg == kMsgProtocolCancel) {
      Abort(*data, *ad, machine, psCancelRequested, kCancelled);
    } else if (msg == kMsgTriggerStatus && Names(wparam, data->CarrierTrigger)) {
      Abort(*data, *ad, machine, psAbortNoCarrier, kCarrierLost);
    } else if (PaceStatus(*data, msg, wparam)) {
      return;
    }
    RunSteps(machine, *data, *ad, EventOf(*data, msg, wparam));
  } catch (const EQORException& e) {
    Fail(machine, *data, *ad, e.ErrorCode());
  } catch (const std::exception&) {
    Fail(machine, *data, *ad, kFault);
  }
}

}  // namespace qor
