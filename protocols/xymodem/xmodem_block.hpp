#pragma once
// Xmodem blocks on the wire: building one, and judging one that arrived.
#include <cstdint>
#include <vector>

namespace qor {

// The Xmodem CRC-16 of a block's data (sent high byte first).
std::uint16_t BlockCrc(const std::uint8_t* bytes, std::int32_t count);
// The one-byte checksum of a block's data.
std::uint8_t BlockChecksum(const std::uint8_t* bytes, std::int32_t count);

// Appends start character, number, complement, the count data bytes and
// the check (CRC or checksum) to out.
void BuildBlock(std::uint8_t start, std::uint8_t number, const std::uint8_t* bytes,
                std::int32_t count, bool crc, std::vector<std::uint8_t>& out);

enum class TBlockVerdict {
  Expected,    // the block asked for
  Duplicate,   // the block before it, again
  BadCheck,    // damaged on the way
  BadNumber,   // the complement does not match its number
  OutOfOrder,  // a block number that is neither
};

// Judges a received block: number, complement, count data bytes, then the
// check; expected is the number asked for (its low 8 bits count).
TBlockVerdict JudgeBlock(const std::uint8_t* block, std::int32_t count, bool crc,
                         std::int32_t expected);

}  // namespace qor
