// Xmodem blocks on the wire, built and judged.
#include "protocols/xymodem/xmodem_block.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor {
namespace {

const std::uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

TEST(Block, ChecksAreTheXmodemOnes) {
  const std::string check = "123456789";
  EXPECT_EQ(BlockCrc(Bytes(check), 9), 0x31C3);     // CRC-16/XMODEM check value
  EXPECT_EQ(BlockChecksum(Bytes(check), 9), 0xDD);  // 477 mod 256
  EXPECT_EQ(BlockChecksum(Bytes(std::string(128, '\xff')), 128), 0x80);
}

TEST(Block, WireLayout) {
  const std::string data(128, 'x');
  std::vector<std::uint8_t> wire;
  BuildBlock(1, 0xFE, Bytes(data), 128, true, wire);
  ASSERT_EQ(wire.size(), 133u);
  EXPECT_EQ(wire[0], 1);
  EXPECT_EQ(wire[1], 0xFE);
  EXPECT_EQ(wire[2], 0x01);
  const std::uint16_t crc = BlockCrc(Bytes(data), 128);
  EXPECT_EQ(wire[131], crc >> 8);  // high byte first
  EXPECT_EQ(wire[132], crc & 0xFF);
  wire.clear();
  BuildBlock(2, 3, Bytes(std::string(1024, 'y')), 1024, false, wire);
  EXPECT_EQ(wire.size(), 1028u);
}

TEST(Block, Verdicts) {
  struct Case {
    const char* name;
    std::uint8_t number;
    std::int32_t expected;
    int damage_at;  // index into number, complement, data, check; -1: none, -2: the last
    TBlockVerdict verdict;
  };
  const Case cases[] = {
      {"the one asked for", 5, 5, -1, TBlockVerdict::Expected},
      {"the one before", 4, 5, -1, TBlockVerdict::Duplicate},
      {"number 255 before 256 (0)", 255, 256, -1, TBlockVerdict::Duplicate},
      {"block 0 before block 1", 0, 1, -1, TBlockVerdict::Duplicate},
      {"ahead", 7, 5, -1, TBlockVerdict::OutOfOrder},
      {"a data byte flipped", 5, 5, 40, TBlockVerdict::BadCheck},
      {"the check flipped", 5, 5, -2, TBlockVerdict::BadCheck},
      {"the complement flipped", 5, 5, 1, TBlockVerdict::BadNumber},
  };
  for (const bool crc : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (crc ? ", CRC" : ", checksum"));
      std::vector<std::uint8_t> wire;
      const std::string data(128, static_cast<char>(c.number * 3));
      BuildBlock(1, c.number, Bytes(data), 128, crc, wire);
      wire.erase(wire.begin());  // the start character is not kept
      if (c.damage_at >= 0) wire[static_cast<std::size_t>(c.damage_at)] ^= 0x10;
      if (c.damage_at == -2) wire.back() ^= 0x10;
      EXPECT_EQ(JudgeBlock(wire.data(), 128, crc, c.expected), c.verdict);
    }
  }
}

}  // namespace
}  // namespace qor
