#pragma once
// Decoding of received data fields.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Decodes the byte at pos (0-based) of a field of len characters, advancing
// pos past its prefixes; count is how many times it stands (1 unless
// repeated). False when the field holds no complete byte from pos on.
bool DecodeNext(const TKermitData& kd, const std::uint8_t* field, std::int32_t len,
                std::int32_t& pos, std::uint8_t& byte, std::int32_t& count);

// Decodes the received file header in DataBlock in place; RxDataLen becomes
// the name's length.
void DecodeFileName(TProtocolData& data);

}  // namespace qor
