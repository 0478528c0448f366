#pragma once
// Error counting and status resets shared by both directions.
#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Counts an error on the current packet; true when the transfer must end
// (cancelled, or more than HandshakeRetry errors in a row: -6007 reported).
bool CountError(TProtocolData& data);

// Clears the figures of a file (and, between transfers, the counters).
void KermitResetStatus(TProtocolData& data);

}  // namespace qor
