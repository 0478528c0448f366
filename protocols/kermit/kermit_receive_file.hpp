#pragma once
// A received file from its header to its end: accepting or refusing it, and
// closing it at its end-of-file packet.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Decides on the file header in DataBlock; returns the next receive state.
std::uint8_t AcceptFile(TProtocolData& data);
// Writes out the window and closes the file at its end-of-file packet;
// returns the next receive state.
std::uint8_t EndOfFile(TProtocolData& data);
// The file could not be written (ProtocolError says why): tells the sender
// and returns the error state.
std::uint8_t FileFailed(TProtocolData& data);

}  // namespace qor
