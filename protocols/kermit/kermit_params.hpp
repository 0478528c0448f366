#pragma once
// The Send-Init exchange: our parameters on the wire and how both sides'
// parameters combine.
#include <array>
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// The 13 characters of our Send-Init data field.
std::array<std::uint8_t, kKermitInitDataLen> SendInitField(const TKermitParams& p);

// Our Send-Init ("S", sequence BlockNumber, check type 1, no padding), after
// emptying the input.
void SendInit(TProtocolData& data);
// Our parameters in the "Y" that answers a Send-Init.
void SendInitAck(TProtocolData& data);

// Combines the received parameters (RxDataLen characters of DataBlock) with
// ours. The receiver adopts the sender's check type; the transmitter keeps
// its own only when the receiver named the same.
void NegotiateParams(TProtocolData& data, bool receiver);

}  // namespace qor
