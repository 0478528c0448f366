#include "protocols/kermit/kermit_status.hpp"

#include "comm/comport/com_port.hpp"
#include "comm/dispatcher/base_dispatcher.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_input.hpp"

namespace qor {

namespace {

constexpr std::int32_t kTooManyErrors = -6007;

}  // namespace

bool CountError(TProtocolData& data) {
  data.ForceStatus = true;
  if (data.ProtocolStatus == psCancelRequested) return true;
  ++data.BlockErrors;
  ++data.TotalErrors;
  if (static_cast<std::uint32_t>(data.BlockErrors) <= data.HandshakeRetry) return false;
  ReportProtocolError(data, data.ProtocolError != 0 ? data.ProtocolError : kTooManyErrors);
  return true;
}

void KermitResetStatus(TProtocolData& data) {
  if (data.InProgress == 0) {
    data.RemainingCount = 0;
    data.BlockNumber = 0;
  }
  data.ProtocolError = 0;
  data.ProtocolStatus = psOK;
  data.FileLength = 0;
  data.TransferredCount = 0;
  data.ElapsedTicks = 0;
  data.BlockErrors = 0;
  data.TotalErrors = 0;
}

bool IsTrigger(std::uintptr_t wparam, std::int32_t handle) {
  return wparam != 0 && static_cast<std::int32_t>(wparam) == handle;
}

void LogKermitState(TProtocolData& data, const TKermitData& kd) {
  constexpr std::uint16_t kStateLogBase = 197;  // sub-kinds of the Kermit state names
  TQorBaseDispatcher* dispatcher = data.ComPort->Dispatcher();
  if (dispatcher != nullptr && dispatcher->Logging()) {
    dispatcher->AddLogEntry(dlkKermit, static_cast<std::uint16_t>(kStateLogBase + kd.KermitState),
                            0);
  }
}

void TakeIncoming(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam, bool header,
                  std::uint8_t error_state) {
  if (IsTrigger(wparam, data.TimeoutTrigger)) {
    data.ForceStatus = true;
    if (CountError(data)) {
      kd.KermitState = error_state;
    } else {
      data.ProtocolStatus = psTimeout;
    }
  } else if (wparam != 0) {
    data.ProtocolStatus = header ? psNoHeader : psNoData;
  } else if (header) {
    CollectHeader(data);
  } else {
    CollectData(data);
    const std::int32_t s = data.ProtocolStatus;
    if (s != psOK && s != psGotData && s != psNoData) {  // a bad check
      data.ForceStatus = true;
      if (CountError(data)) kd.KermitState = error_state;
    }
  }
}

}  // namespace qor
