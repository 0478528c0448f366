#pragma once
// The transmitter's state table: one step of the machine per call.
#include "protocols/zmodem/zmodem_line.hpp"

namespace qor {

// Runs the action of the current state for the event (the header reader has
// already run for the states that wait for one) and moves to the next state.
void RunTransmitStep(TProtocolData& data, TZmodemData& zd, TZEvent event);

// The states that wait for a header.
bool TransmitWaitsForHeader(std::uint8_t state);
// How the handler goes on after a step that left the machine in state.
TZPace TransmitPace(std::uint8_t state);

}  // namespace qor
