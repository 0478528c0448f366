// File dates, octal fields and the texts of status displays.
#include <ctime>
#include <string>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

std::int32_t Packed(int year, int month, int day, int hour, int minute, int second) {
  const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const auto time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

TEST(FileDates, CountSecondsFromDayZero) {
  struct Case {
    std::int32_t packed;
    std::int32_t seconds;
  };
  const Case cases[] = {
      {Packed(2000, 1, 1, 0, 0, 0), 946684800},
      {Packed(2024, 2, 29, 23, 59, 58), 1709251198},  // a leap day
      {Packed(1980, 1, 1, 0, 0, 0), 315532800},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileDateToUnixSeconds(c.packed), c.seconds) << std::hex << c.packed;
    EXPECT_EQ(UnixSecondsToFileDate(c.seconds), c.packed) << c.seconds;
  }
  // Two-second resolution: an odd second packs like the even one before it.
  EXPECT_EQ(UnixSecondsToFileDate(946684801), Packed(2000, 1, 1, 0, 0, 0));
}

TEST(FileDates, ImpossibleOrUnrepresentableDatesGiveZero) {
  EXPECT_EQ(FileDateToUnixSeconds(Packed(2001, 2, 29, 0, 0, 0)), 0);  // not a leap year
  EXPECT_EQ(FileDateToUnixSeconds(Packed(2001, 0, 1, 0, 0, 0)), 0);   // month 0
  EXPECT_EQ(FileDateToUnixSeconds(Packed(2001, 1, 1, 24, 0, 0)), 0);
  EXPECT_EQ(FileDateToUnixSeconds(Packed(2001, 1, 1, 0, 0, 0) | 31), 0);  // second 62
  EXPECT_EQ(FileDateToUnixSeconds(0), 0);
  // Past 2038 the 32-bit seconds would wrap negative.
  EXPECT_EQ(FileDateToUnixSeconds(Packed(2100, 1, 1, 0, 0, 0)), 0);
  // Before 1980 there is no packed form.
  EXPECT_EQ(UnixSecondsToFileDate(0), 0);
  EXPECT_EQ(UnixSecondsToFileDate(-86400), 0);
}

TEST(FileDates, CurrentSecondsAreLocalWallClock) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const std::int64_t expected = static_cast<std::int64_t>(now) + local.tm_gmtoff;
  EXPECT_NEAR(static_cast<double>(CurrentUnixSeconds()), static_cast<double>(expected), 2.0);
}

TEST(Octal, StringIsTwelveDigits) {
  EXPECT_EQ(OctalString(8), "000000000010");
  EXPECT_EQ(OctalString(0), "000000000000");
  EXPECT_EQ(OctalString(0xFFFFFFFF), "037777777777");
}

TEST(Octal, ValueSkipsBlanksAndLeadingZerosAndRefusesTheRest) {
  struct Case {
    const char* text;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"  0017 ", 15},
      {"19", 0},
      {"", 0},
      {"0", 0},
      {"12\r\n", 10},
      {"\t00000000000000017", 15},
      {"37777777777", 0xFFFFFFFF},
      {"40000000000", 0},   // does not fit 32 bits
      {"777777777777", 0},  // twelve digits
      {"1 7", 0},
      {"-17", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(OctalValue(c.text), c.value) << '"' << c.text << '"';
}

TEST(StatusTexts, NamesAndTimes) {
  EXPECT_EQ(ProtocolName(0), "None");
  EXPECT_EQ(ProtocolName(ptXmodem1KG), "Xmodem1KG");
  EXPECT_EQ(ProtocolName(ptKermit), "Kermit");
  EXPECT_EQ(ProtocolName(ptAscii), "Ascii");
  EXPECT_EQ(ProtocolName(10), "None");
  EXPECT_EQ(ProtocolName(-1), "None");

  EXPECT_EQ(BlockCheckName(bcmChecksum), "Checksum");
  EXPECT_EQ(BlockCheckName(bcmCrcK), "CrcKermit");
  EXPECT_EQ(BlockCheckName(0x80 | bcmCrc16), "Crc16");  // only the low seven bits count
  EXPECT_EQ(BlockCheckName(bcmNone), "No check");
  EXPECT_EQ(BlockCheckName(6), "No check");

  EXPECT_EQ(MinutesSeconds(0), "  0:00");
  EXPECT_EQ(MinutesSeconds(65), "  1:05");
  EXPECT_EQ(MinutesSeconds(600000), "10000:00");

  EXPECT_EQ(StatusText(psOK), "OK");
  EXPECT_EQ(StatusText(psCancelRequested), "Cancel requested");
  EXPECT_EQ(StatusText(psAbort), "None");
  EXPECT_EQ(StatusText(psWaitAck), "");  // outside the status range
  EXPECT_EQ(StatusText(-6005), "");
}

}  // namespace
}  // namespace qor::testing
