// Progress figures for the component: bytes really on the line, time left.
#include <algorithm>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

std::int32_t ReportedBytesTransferred(TProtocolData& data) {
  if (data.ComPort == nullptr) return 0;
  // What still waits in the output buffer has not left yet; its blocks carry
  // Overhead protocol bytes each, which were never counted.
  const std::int32_t used = data.ComPort->OutputUsed() & 0xFFFF;
  const std::int32_t block = data.BlockLength;
  if (used < block) return data.TransferredCount;
  const std::int32_t overhead = block > 0 ? used / block * data.Overhead : 0;
  return std::max(0, data.TransferredCount + overhead - used);
}

std::int32_t ReportedBytesRemaining(TProtocolData& data) {
  return std::max(0, data.FileLength - ReportedBytesTransferred(data));
}

std::int32_t EstimateTransferSeconds(const TProtocolData& data, std::int32_t bytes) {
  if (bytes == 0) return 0;
  const std::int64_t cps = data.CharsPerSecond;
  const std::int64_t block = data.BlockLength;
  const std::int64_t divisor = data.TurnDelay * cps / 1000 + block + data.Overhead;
  if (divisor <= 0) return 0;
  const std::int64_t rate = cps * (block * 100 / divisor) / 100;
  return rate > 0 ? static_cast<std::int32_t>(bytes / rate) : 0;
}

}  // namespace qor
