// The Zmodem receiver: the prepare routine and the handler.
#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem.hpp"
#include "protocols/zmodem/zmodem_driver.hpp"
#include "protocols/zmodem/zmodem_receive_states.hpp"

namespace qor {

namespace {

void CloseReceivedFile(TProtocolData& data, TZmodemData&) {
  if (!data.FileOpen) return;
  const std::int32_t cause = data.ProtocolError;
  data.FinishWritingProc(data);
  data.ProtocolError = cause;
  data.LogProc(data, lfReceiveFail);
}

constexpr TZDirection kReceive{&RunReceiveStep, &ReceiveWaitsForHeader, &ReceivePace,
                               rzError,         rzDone,                 &CloseReceivedFile};

}  // namespace

void ZmodemPrepareReceive(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (!PrepareZmodem(data, rzRqstFile)) return;
  data.ProtocolStatus = psProtocolHandshake;
  ShowFirstStatus(data);
  DiscardInput(data);
  data.ProtocolStatus = psOK;
}

void ZmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunZmodemHandler(kReceive, msg, wparam, lparam);
}

}  // namespace qor
