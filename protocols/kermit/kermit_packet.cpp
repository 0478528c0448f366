#include "protocols/kermit/kermit_packet.hpp"

#include <algorithm>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_encode.hpp"

namespace qor {

std::array<std::uint8_t, 3> CheckValues(std::uint8_t check_type, std::uint32_t sum,
                                        std::uint16_t crc) {
  switch (check_type) {
    case '2':
      return {static_cast<std::uint8_t>((sum >> 6) & 63), static_cast<std::uint8_t>(sum & 63), 0};
    case '3':
      return {static_cast<std::uint8_t>((crc >> 12) & 15), static_cast<std::uint8_t>((crc >> 6) & 63),
              static_cast<std::uint8_t>(crc & 63)};
    default:
      return {static_cast<std::uint8_t>((sum + ((sum >> 6) & 3)) & 63), 0, 0};
  }
}

void BuildPacket(const TKermitParams& local, std::uint8_t check_type, bool pad,
                 std::uint8_t type, std::int32_t seq, const std::uint8_t* field,
                 std::int32_t len, std::vector<std::uint8_t>& out) {
  const std::int32_t c = CheckLength(check_type);
  const std::int32_t l = len + c + 2;
  if (pad) out.insert(out.end(), local.PadCount, local.PadChar);
  out.push_back(kKermitMark);
  const std::size_t checked_from = out.size();
  if (l <= kKermitMaxNormalLen) {
    out.insert(out.end(), {ToChar(l), ToChar(seq & 63), type});
  } else {
    out.insert(out.end(), {ToChar(0), ToChar(seq & 63), type, ToChar((l - 2) / 95),
                           ToChar((l - 2) % 95)});
    std::uint32_t s = 0;
    for (std::size_t i = checked_from; i < out.size(); ++i) s += out[i];
    s &= 0xFF;
    out.push_back(ToChar(static_cast<std::int32_t>((s + (s >> 6)) & 63)));
  }
  out.insert(out.end(), field, field + len);
  std::uint32_t sum = 0;
  std::uint16_t crc = 0;
  for (std::size_t i = checked_from; i < out.size(); ++i) {
    sum = UpdateChecksum(out[i], sum);
    crc = UpdateCrcKermit(out[i], crc);
  }
  const auto check = CheckValues(check_type, sum, crc);
  for (std::int32_t i = 0; i < c; ++i) out.push_back(ToChar(check[static_cast<std::size_t>(i)]));
  out.push_back(local.Terminator);
}

std::int32_t MaxDataField(const TKermitData& kd) {
  const std::int32_t c = CheckLength(CurrentCheckType(kd));
  if (kd.LongPacketsInUse) return std::min(kd.LocalParams.MaxLongLen - c, kKermitDataSize);
  return kd.LocalParams.MaxLen - c - 2;
}

void SendPacketBytes(TProtocolData& data, std::uint8_t type, std::int32_t seq,
                     const std::uint8_t* field, std::int32_t len, bool pad,
                     std::uint8_t check_type) {
  TKermitData& kd = Kermit(data);
  kd.Wire.clear();
  BuildPacket(kd.LocalParams, check_type, pad, type, seq, field, len, kd.Wire);
  kd.LastSentSeq = seq;
  data.ComPort->SendBlock(kd.Wire.data(), static_cast<std::uint16_t>(kd.Wire.size()));
}

void SendPacket(TProtocolData& data, std::uint8_t type) {
  TKermitData& kd = Kermit(data);
  SendPacketBytes(data, type, data.BlockNumber, data.DataBlock, kd.TxDataLen, true,
                  CurrentCheckType(kd));
}

void SendError(TProtocolData& data, std::string_view text) {
  data.BlockNumber = NextSeq(data.BlockNumber);
  EncodeText(data, text);
  SendPacket(data, 'E');
}

void SendAck(TProtocolData& data, std::int32_t seq) {
  SendPacketBytes(data, 'Y', seq, nullptr, 0, false, CurrentCheckType(Kermit(data)));
}

void SendNak(TProtocolData& data, std::int32_t seq) {
  SendPacketBytes(data, 'N', seq, nullptr, 0, false, CurrentCheckType(Kermit(data)));
}

void KermitCancel(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  if (data.ComPort != nullptr && data.ComPort->Open()) {
    if (kd.ReceivingFile) {
      const std::uint8_t z = 'Z';
      SendPacketBytes(data, 'Y', data.BlockNumber, &z, 1, false, CurrentCheckType(kd));
    } else {
      data.BlockNumber = NextSeq(data.BlockNumber);
      data.DataBlock[0] = 'D';
      kd.TxDataLen = 1;
      SendPacket(data, 'Z');
    }
  }
  data.ProtocolStatus = psCancelRequested;
}

}  // namespace qor
