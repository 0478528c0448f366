// The block checks the engines put on the wire, and the CRC-32 of a file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>

#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

namespace {

// Table[i]: i shifted through the CCITT polynomial, most significant bit first.
constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

// The reflected CRC-32 table.
constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    table[i] = crc;
  }
  return table;
}

// The reflected CCITT table (polynomial 0x8408) of the Kermit check.
constexpr std::array<std::uint16_t, 256> MakeCrcKermitTable() {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

// Slicing by eight: Slices[k][i] is the CRC of byte i followed by k zero
// bytes, so eight bytes fold in with eight lookups and no serial chain.
// ZeroByte is one step of the table's own update with a zero byte.
template <class T, class ZeroByte>
constexpr std::array<std::array<T, 256>, 8> MakeSlices(const std::array<T, 256>& table,
                                                       ZeroByte zero_byte) {
  std::array<std::array<T, 256>, 8> slices{};
  slices[0] = table;
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t i = 0; i < 256; ++i) slices[k][i] = zero_byte(slices[0], slices[k - 1][i]);
  }
  return slices;
}

// The reflected CRC-32 shifts right; the CCITT CRC in its direct
// (unaugmented) form shifts left.
constexpr auto MakeCrc32Slices() {
  return MakeSlices(MakeCrc32Table(), [](const auto& t, std::uint32_t prev) {
    return (prev >> 8) ^ t[prev & 0xFF];
  });
}

constexpr auto MakeCrc16Slices() {
  return MakeSlices(MakeCrc16Table(), [](const auto& t, std::uint16_t prev) {
    return static_cast<std::uint16_t>((prev << 8) ^ t[prev >> 8]);
  });
}

constexpr auto kCrc16Slices = MakeCrc16Slices();
constexpr const auto& kCrc16Table = kCrc16Slices[0];
constexpr auto kCrc32Slices = MakeCrc32Slices();
constexpr const auto& kCrc32Table = kCrc32Slices[0];
constexpr auto kCrcKermitTable = MakeCrcKermitTable();
static_assert(kCrc16Table[1] == 0x1021);
static_assert(kCrc32Table[1] == 0x77073096);

}  // namespace

std::uint32_t UpdateChecksum(std::uint8_t byte, std::uint32_t sum) { return sum + byte; }

// The message must be followed by two zero bytes to give the Xmodem CRC.
std::uint16_t UpdateCrc16(std::uint8_t byte, std::uint16_t crc) {
  return static_cast<std::uint16_t>(kCrc16Table[crc >> 8] ^ (crc << 8) ^ byte);
}

std::uint32_t UpdateCrc32(std::uint8_t byte, std::uint32_t crc) {
  return kCrc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

std::uint16_t UpdateCrcKermit(std::uint8_t byte, std::uint16_t crc) {
  return static_cast<std::uint16_t>(kCrcKermitTable[(crc ^ byte) & 0xFF] ^ (crc >> 8));
}

std::uint32_t UpdateCrc32Run(const std::uint8_t* bytes, std::size_t n, std::uint32_t crc) {
  const auto& t = kCrc32Slices;
  for (; n >= 8; n -= 8, bytes += 8) {
    const std::uint32_t lo = crc ^ (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                     std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (std::size_t i = 0; i < n; ++i) crc = kCrc32Table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint16_t UpdateCrc16Run(const std::uint8_t* bytes, std::size_t n, std::uint16_t crc) {
  if (n < 2) return n == 0 ? crc : UpdateCrc16(bytes[0], crc);
  // The table form holds the last two bytes unreduced in the register: after
  // a run it is the direct-form CRC of all but those two, with them added
  // in. The direct CRC of what came before is the register after two zero
  // bytes, and the direct form folds eight bytes at a time.
  crc = UpdateCrc16(0, UpdateCrc16(0, crc));
  const std::uint16_t tail = static_cast<std::uint16_t>(bytes[n - 2] << 8 | bytes[n - 1]);
  n -= 2;
  const auto& t = kCrc16Slices;
  for (; n >= 8; n -= 8, bytes += 8) {
    const std::uint16_t head = static_cast<std::uint16_t>(crc ^ (bytes[0] << 8 | bytes[1]));
    crc = static_cast<std::uint16_t>(t[7][head >> 8] ^ t[6][head & 0xFF] ^ t[5][bytes[2]] ^
                                     t[4][bytes[3]] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^
                                     t[1][bytes[6]] ^ t[0][bytes[7]]);
  }
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[(crc >> 8) ^ bytes[i]]);
  }
  return static_cast<std::uint16_t>(crc ^ tail);
}

std::uint32_t FileCrc32(TProtocolData& data, const std::string& file_name, std::int32_t limit) {
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ReportProtocolError(data, -errno);
    return 0;
  }
  data.BlockCheckValue = 0xFFFFFFFF;
  std::array<std::uint8_t, kFileBufferSize> piece{};
  std::int64_t left = limit > 0 ? limit : std::numeric_limits<std::int64_t>::max();
  std::int64_t offset = 0;
  std::int64_t got = 0;
  while (left > 0) {
    got = ReadAt(fd, piece.data(), std::min<std::int64_t>(left, kFileBufferSize), offset);
    if (got <= 0) break;
    data.BlockCheckValue =
        UpdateCrc32Run(piece.data(), static_cast<std::size_t>(got), data.BlockCheckValue);
    offset += got;
    left -= got;
  }
  ::close(fd);
  if (got < 0) {
    // A partial CRC would pass for the file's.
    ReportProtocolError(data, static_cast<std::int32_t>(got));
    return 0;
  }
  return data.BlockCheckValue;
}

}  // namespace qor
