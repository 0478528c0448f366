#pragma once
// Received characters: the bounded InBuf and the two packet assemblers.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Appends up to count characters, as many as InBuf has room for; returns how
// many it took.
std::int32_t InBufAppend(TKermitData& kd, const std::uint8_t* bytes, std::int32_t count);
bool InBufEmpty(const TKermitData& kd);

// Moves the characters the port holds into InBuf, while it has room.
void ReadAvailable(TProtocolData& data);
// True when no received character waits, in InBuf or at the port.
bool InputDrained(TProtocolData& data);
// Empties the port's input and InBuf.
void FlushInput(TProtocolData& data);

// Assembles a header from InBuf: status 4726 once complete (RxLen is then the
// data length), else 4725. Resumes where the last call stopped.
void CollectHeader(TProtocolData& data);
// Assembles the data field into DataBlock and checks it: 4727 good, 4709 bad
// check, 4728 incomplete (resumes on the next call).
void CollectData(TProtocolData& data);

// The state a reply header leaves the data assembler in.
void StartCollectingData(TKermitData& kd);
// While the data assembler works on a packet: the bytes of its data field
// and check still to come beyond those InBuf holds.
std::int32_t DataBytesMissing(const TKermitData& kd);

}  // namespace qor
