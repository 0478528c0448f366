#pragma once
// The sliding window: slots 1..TableSize, each holding one packet's data field.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

TKermitSlot& Slot(TKermitData& kd, std::int32_t index);
// The data field of a slot within WindowBuffer.
std::uint8_t* SlotData(TProtocolData& data, std::int32_t index);
// The slot index after index, wrapping from TableSize to 1.
std::int32_t NextSlot(const TKermitData& kd, std::int32_t index);

void UseSlot(TKermitData& kd, std::int32_t index, std::int32_t seq, std::int32_t length);
void FreeSlot(TKermitData& kd, std::int32_t index);
void ClearSlots(TKermitData& kd);

// The slot in use holding sequence seq, or 0.
std::int32_t FindSlot(const TKermitData& kd, std::int32_t seq);
// The slot in use sent longest ago (furthest behind newest_seq), or 0.
std::int32_t OldestSlot(const TKermitData& kd, std::int32_t newest_seq);
// The slot after TableHead still holds an unacknowledged packet.
bool WindowFull(const TKermitData& kd);

}  // namespace qor
