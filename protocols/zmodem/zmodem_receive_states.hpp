#pragma once
// The receiver's state table: one step of the machine per call.
#include "protocols/zmodem/zmodem_line.hpp"

namespace qor {

void RunReceiveStep(TProtocolData& data, TZmodemData& zd, TZEvent event);
bool ReceiveWaitsForHeader(std::uint8_t state);
TZPace ReceivePace(std::uint8_t state);

}  // namespace qor
