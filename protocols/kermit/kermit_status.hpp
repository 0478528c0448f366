#pragma once
// Error counting and status resets shared by both directions.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Counts an error on the current packet; true when the transfer must end
// (cancelled, or more than HandshakeRetry errors in a row: -6007 reported).
bool CountError(TProtocolData& data);

// Clears the figures of a file (and, between transfers, the counters).
void KermitResetStatus(TProtocolData& data);

// Whether a trigger message's wParam names this trigger.
bool IsTrigger(std::uintptr_t wparam, std::int32_t handle);

// Logs the machine's state in the dispatch log, when the log is on.
void LogKermitState(TProtocolData& data, const TKermitData& kd);

// What arrived for a state that waits for a packet (header: for its header,
// else for its data): a time-out, another trigger, or characters for the
// assemblers. Too many errors move the machine to error_state.
void TakeIncoming(TProtocolData& data, TKermitData& kd, std::uintptr_t wparam, bool header,
                  std::uint8_t error_state);

}  // namespace qor
