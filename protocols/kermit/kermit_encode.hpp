#pragma once
// Prefix encoding of outgoing data fields.
#include <cstdint>
#include <string_view>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// The longest encoding of one byte: repeat prefix and count, 8-bit prefix,
// control prefix and character.
inline constexpr std::int32_t kMaxEncodedByte = 5;

// Encodes byte b standing for a run of run bytes (1: no repeat prefix) into
// out; returns the characters written.
std::int32_t EncodeByte(const TKermitData& kd, std::uint8_t b, std::int32_t run,
                        std::uint8_t (&out)[kMaxEncodedByte]);

// Fills DataBlock with the next data field of the file (TxDataLen), refilling
// WorkBlock through ReadBlockProc. At the end of the file: status 4714 and no
// field; a read error leaves ProtocolError set.
void EncodeDataField(TProtocolData& data);

// Encodes text (a file name, an error message) into DataBlock, without repeat
// compression, as much of it as one packet carries.
void EncodeText(TProtocolData& data, std::string_view text);

}  // namespace qor
