#pragma once
// Kermit packets on the wire: layout, block checks and the packet senders.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// The block check of a check type as numbers 0..63 (before tochar), from the
// running sum and Kermit CRC of the characters it covers.
std::array<std::uint8_t, 3> CheckValues(std::uint8_t check_type, std::uint32_t sum,
                                        std::uint16_t crc);

// Appends one packet to out: the padding when pad is set, MARK, the header
// (extended when the length needs it), the field, the check and the terminator.
void BuildPacket(const TKermitParams& local, std::uint8_t check_type, bool pad,
                 std::uint8_t type, std::int32_t seq, const std::uint8_t* field,
                 std::int32_t len, std::vector<std::uint8_t>& out);

// The longest data field the peer accepts in one packet of today's check type.
std::int32_t MaxDataField(const TKermitData& kd);

// Writes a packet through the com port.
void SendPacketBytes(TProtocolData& data, std::uint8_t type, std::int32_t seq,
                     const std::uint8_t* field, std::int32_t len, bool pad,
                     std::uint8_t check_type);
// TxDataLen bytes of DataBlock, sequence BlockNumber, padded.
void SendPacket(TProtocolData& data, std::uint8_t type);
// Advances BlockNumber and sends text as an "E" packet.
void SendError(TProtocolData& data, std::string_view text);
void SendAck(TProtocolData& data, std::int32_t seq);
void SendNak(TProtocolData& data, std::int32_t seq);
// Tells the peer to discard the file and sets status 4713.
void KermitCancel(TProtocolData& data);

}  // namespace qor
