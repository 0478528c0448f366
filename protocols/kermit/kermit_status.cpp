#include "protocols/kermit/kermit_status.hpp"

#include "protocols/core/protocol_core.hpp"

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

}  // namespace qor
