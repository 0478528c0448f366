// The four block checks against their published check values, and the CRC-32
// of a file.
#include <cerrno>
#include <functional>
#include <string>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

const std::string kCheckInput = "123456789";

template <class T, class F>
T Over(const std::string& bytes, T start, F update) {
  T value = start;
  for (char c : bytes) value = update(static_cast<std::uint8_t>(c), value);
  return value;
}

struct CheckCase {
  const char* name;
  std::function<std::uint32_t()> compute;
  std::uint32_t expected;
};

TEST(BlockChecks, GiveThePublishedCheckValues) {
  const CheckCase cases[] = {
      {"checksum", [] { return Over<std::uint32_t>(kCheckInput, 0, UpdateChecksum); }, 0x1DD},
      // The table form yields the Xmodem CRC once two zero bytes follow.
      {"crc16/xmodem",
       [] { return Over<std::uint16_t>(kCheckInput + std::string(2, '\0'), 0, UpdateCrc16); },
       0x31C3},
      {"crc32",
       [] { return ~Over<std::uint32_t>(kCheckInput, 0xFFFFFFFF, UpdateCrc32); },
       0xCBF43926},
      {"crc16/kermit", [] { return Over<std::uint16_t>(kCheckInput, 0, UpdateCrcKermit); }, 0x2189},
  };
  for (const CheckCase& c : cases) EXPECT_EQ(c.compute(), c.expected) << c.name;
}

TEST(BlockChecks, RunsGiveWhatByteByByteGives) {
  // Every length around the eight-byte steps, from every alignment.
  const std::string bytes = Pattern(64);
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t n = 0; start + n <= 40; ++n) {
      const std::string part = bytes.substr(start, n);
      const auto* p = reinterpret_cast<const std::uint8_t*>(part.data());
      EXPECT_EQ(UpdateCrc32Run(p, n, 0x12345678), Over<std::uint32_t>(part, 0x12345678, UpdateCrc32))
          << start << "+" << n;
      EXPECT_EQ(UpdateCrc16Run(p, n, 0x1234), Over<std::uint16_t>(part, 0x1234, UpdateCrc16))
          << start << "+" << n;
    }
  }
}

TEST(BlockChecks, ChecksumIsAPlainSumTheEngineTruncates) {
  EXPECT_EQ(UpdateChecksum(0xFF, 0x01), 0x100u);
}

TEST(FileCrc32, CoversTheWholeFileOrItsFirstBytesWithoutFinalInversion) {
  TempDir dir;
  const std::string big = Pattern(20000);  // several 8192-byte pieces
  const std::string path_small = dir.Write("check.bin", kCheckInput);
  const std::string path_big = dir.Write("big.bin", big);
  auto record = NewRecord();

  EXPECT_EQ(FileCrc32(*record, path_small, 0), ~0xCBF43926u);
  EXPECT_EQ(record->BlockCheckValue, ~0xCBF43926u);
  EXPECT_EQ(FileCrc32(*record, path_small, 4), ~0x9BE3E0A3u);  // "1234"
  EXPECT_EQ(FileCrc32(*record, path_big, 0), Over<std::uint32_t>(big, 0xFFFFFFFF, UpdateCrc32));
  EXPECT_EQ(FileCrc32(*record, path_big, 9000),
            Over<std::uint32_t>(big.substr(0, 9000), 0xFFFFFFFF, UpdateCrc32));
  EXPECT_EQ(record->ProtocolError, 0);
}

TEST(FileCrc32, ReportsAFileThatCannotBeReadAndGivesZero) {
  TempDir dir;
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  EXPECT_EQ(FileCrc32(*record, dir.Path("missing.bin"), 0), 0u);
  EXPECT_EQ(record->ProtocolError, -ENOENT);
  // A directory opens but cannot be read: no partial value passes for a CRC.
  EXPECT_EQ(FileCrc32(*record, dir.Root(), 0), 0u);
  EXPECT_EQ(record->ProtocolError, -EISDIR);
  EXPECT_EQ(window.Codes(kMsgProtocolError), (std::vector<std::int32_t>{-ENOENT, -EISDIR}));
}

}  // namespace
}  // namespace qor::testing
