#include "protocols/zmodem/zmodem_frames.hpp"

#include <algorithm>

#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::uint8_t kLineEndHigh = 0x8A;  // LF with bit 7, as peers expect

void PutHex(std::uint8_t b, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(kHexDigits[b >> 4]));
  out.push_back(static_cast<std::uint8_t>(kHexDigits[b & 15]));
}

// The Xmodem CRC: the message followed by two zero bytes.
std::uint16_t FinishCrc16(std::uint16_t crc) {
  crc = UpdateCrc16(0, crc);
  return UpdateCrc16(0, crc);
}

}  // namespace

TZHeaderBytes PositionBytes(std::int32_t position) {
  const auto p = static_cast<std::uint32_t>(position);
  return {static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 8),
          static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 24)};
}

std::int32_t BytesPosition(const TZHeaderBytes& b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) |
                                   (static_cast<std::uint32_t>(b[1]) << 8) |
                                   (static_cast<std::uint32_t>(b[2]) << 16) |
                                   (static_cast<std::uint32_t>(b[3]) << 24));
}

void TZEscaper::Put(std::uint8_t b, std::vector<std::uint8_t>& out) {
  std::uint8_t buf[2];
  std::uint8_t* end = Put(b, buf);
  out.insert(out.end(), buf, end);
}

void BuildHexHeader(std::uint8_t type, const TZHeaderBytes& bytes, std::vector<std::uint8_t>& out) {
  out.insert(out.end(), {ZPAD, ZPAD, ZDLE, 'B'});
  std::uint16_t crc = UpdateCrc16(type, 0);
  PutHex(type, out);
  for (const std::uint8_t b : bytes) {
    crc = UpdateCrc16(b, crc);
    PutHex(b, out);
  }
  crc = FinishCrc16(crc);
  PutHex(static_cast<std::uint8_t>(crc >> 8), out);
  PutHex(static_cast<std::uint8_t>(crc), out);
  out.push_back('\r');
  out.push_back(kLineEndHigh);
  if (type != ZFIN && type != ZACK) out.push_back(kXon);
}

void BuildBinaryHeader(std::uint8_t type, const TZHeaderBytes& bytes, bool crc32,
                       TZEscaper& escaper, std::vector<std::uint8_t>& out) {
  out.insert(out.end(), {ZPAD, ZDLE, static_cast<std::uint8_t>(crc32 ? 'C' : 'A')});
  escaper.Wrote(out.back());
  escaper.Put(type, out);
  for (const std::uint8_t b : bytes) escaper.Put(b, out);
  if (crc32) {
    std::uint32_t crc = UpdateCrc32(type, 0xFFFFFFFFu);
    for (const std::uint8_t b : bytes) crc = UpdateCrc32(b, crc);
    crc = ~crc;
    for (int i = 0; i < 4; ++i) escaper.Put(static_cast<std::uint8_t>(crc >> (8 * i)), out);
  } else {
    std::uint16_t crc = UpdateCrc16(type, 0);
    for (const std::uint8_t b : bytes) crc = UpdateCrc16(b, crc);
    crc = FinishCrc16(crc);
    escaper.Put(static_cast<std::uint8_t>(crc >> 8), out);
    escaper.Put(static_cast<std::uint8_t>(crc), out);
  }
}

std::uint8_t* BuildSubpacket(const std::uint8_t* data, std::int32_t len, std::uint8_t end,
                             bool crc32, TZEscaper& escaper, std::uint8_t* out) {
  const auto n = static_cast<std::size_t>(std::max(len, 0));
  out = escaper.PutRun(data, n, out);
  *out++ = ZDLE;
  *out++ = end;
  escaper.Wrote(end);
  if (crc32) {
    const std::uint32_t crc = ~UpdateCrc32(end, UpdateCrc32Run(data, n, 0xFFFFFFFFu));
    for (int i = 0; i < 4; ++i) out = escaper.Put(static_cast<std::uint8_t>(crc >> (8 * i)), out);
  } else {
    const std::uint16_t crc = FinishCrc16(UpdateCrc16(end, UpdateCrc16Run(data, n, 0)));
    out = escaper.Put(static_cast<std::uint8_t>(crc >> 8), out);
    out = escaper.Put(static_cast<std::uint8_t>(crc), out);
  }
  if (end == ZCRCW) *out++ = kXon;
  return out;
}

}  // namespace qor
