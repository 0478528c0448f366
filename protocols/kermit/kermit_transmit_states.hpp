#pragma once
// The actions of the transmit states, one round's worth each.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Runs the action of the current transmit state; wparam is the trigger that
// caused the call (0 for received data).
void RunTransmitAction(TProtocolData& data, std::uintptr_t wparam);

}  // namespace qor
