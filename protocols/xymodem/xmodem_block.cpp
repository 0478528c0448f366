#include "protocols/xymodem/xmodem_block.hpp"

#include "protocols/core/protocol_core.hpp"

namespace qor {

std::uint16_t BlockCrc(const std::uint8_t* bytes, std::int32_t count) {
  const std::uint16_t crc = UpdateCrc16Run(bytes, static_cast<std::size_t>(count), 0);
  // The table form yields the Xmodem CRC once two zero bytes have passed.
  return UpdateCrc16(0, UpdateCrc16(0, crc));
}

std::uint8_t BlockChecksum(const std::uint8_t* bytes, std::int32_t count) {
  std::uint32_t sum = 0;
  for (std::int32_t i = 0; i < count; ++i) sum = UpdateChecksum(bytes[i], sum);
  return static_cast<std::uint8_t>(sum);
}

void BuildBlock(std::uint8_t start, std::uint8_t number, const std::uint8_t* bytes,
                std::int32_t count, bool crc, std::vector<std::uint8_t>& out) {
  out.push_back(start);
  out.push_back(number);
  out.push_back(static_cast<std::uint8_t>(~number));
  out.insert(out.end(), bytes, bytes + count);
  if (crc) {
    const std::uint16_t value = BlockCrc(bytes, count);
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
  } else {
    out.push_back(BlockChecksum(bytes, count));
  }
}

TBlockVerdict JudgeBlock(const std::uint8_t* block, std::int32_t count, bool crc,
                         std::int32_t expected) {
  const std::uint8_t number = block[0];
  if (block[1] != static_cast<std::uint8_t>(~number)) return TBlockVerdict::BadNumber;
  const std::uint8_t* bytes = block + 2;
  const std::uint8_t* check = bytes + count;
  const bool intact = crc ? (check[0] << 8 | check[1]) == BlockCrc(bytes, count)
                          : check[0] == BlockChecksum(bytes, count);
  if (!intact) return TBlockVerdict::BadCheck;
  if (number == static_cast<std::uint8_t>(expected - 1)) return TBlockVerdict::Duplicate;
  if (number == static_cast<std::uint8_t>(expected)) return TBlockVerdict::Expected;
  return TBlockVerdict::OutOfOrder;
}

}  // namespace qor
