// The Zmodem transmitter: the prepare routine and the handler.
#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem.hpp"
#include "protocols/zmodem/zmodem_driver.hpp"
#include "protocols/zmodem/zmodem_transmit_states.hpp"

namespace qor {

namespace {

constexpr std::int32_t kOutputTooSmall = -3006;
constexpr std::int32_t kHeaderRoom = 30;  // the ZDATA header beside a fully escaped block

void CloseSentFile(TProtocolData& data, TZmodemData&) {
  if (!data.FileActive) return;
  data.FinishReadingProc(data);
  data.FileActive = false;
  data.LogProc(data, lfTransmitFail);
}

constexpr TZDirection kTransmit{&RunTransmitStep, &TransmitWaitsForHeader, &TransmitPace,
                                tzError,          tzDone,                  &CloseSentFile};

}  // namespace

void ZmodemPrepareTransmit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (!PrepareZmodem(data, tzInitial)) return;
  const TZmodemData& zd = Zmodem(data);
  // The ring the open port has, which may differ from OutSize set since.
  std::int32_t in_size = 0;
  std::int32_t out_size = 0;
  if (TQorBaseDispatcher* d = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr) {
    d->GetBufferSizes(in_size, out_size);
  }
  if (out_size < 2 * zd.StdBlockLen + kHeaderRoom) {
    ReportProtocolError(data, kOutputTooSmall);
    return;
  }
  data.ProtocolStatus = psProtocolHandshake;
  ShowFirstStatus(data);
}

void ZmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunZmodemHandler(kTransmit, msg, wparam, lparam);
}

}  // namespace qor
