#pragma once
// Runs a receiving engine over bytes a fuzzer made up: the engine sits on a
// com port over the in-memory device, and this thread calls its handler the
// way the dispatcher would, so every run is deterministic. Received files land
// in a scratch directory that is emptied after every run.
#include <cstddef>
#include <cstdint>

#include "protocols/core/protocol_data.hpp"

namespace qor::fuzz {

// Starts a receive of type on the engine the protocol component would use,
// feeds the bursts that bytes holds (each a length byte and that many bytes;
// a length of 0 stands for a time-out), lets the timeout run out a few times,
// cancels, and aborts the process when the transfer never finishes or a file
// was written outside the scratch directory.
// configure, when given, sets the engine's options before the start.
void RunReceive(TProtocolType type, const std::uint8_t* bytes, std::size_t size,
                void (*configure)(TProtocolData& data) = nullptr);

}  // namespace qor::fuzz
