// Progress figures: bytes that have really left, and the time a transfer takes.
#include <string>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

TEST(ReportedBytes, DiscountWhatStillWaitsInTheOutputBuffer) {
  MemoryPort port;
  auto record = NewRecord(&port.Port());
  record->TransferredCount = 10000;
  record->FileLength = 12000;
  record->BlockLength = 128;
  record->Overhead = 20;
  EXPECT_EQ(ReportedBytesTransferred(*record), 10000);  // nothing queued

  const std::string queued(600, 'x');  // output stays queued on this device
  port.Port().SendBlock(queued.data(), static_cast<std::uint16_t>(queued.size()));
  ASSERT_EQ(port.Port().OutputUsed(), 600);
  EXPECT_EQ(ReportedBytesTransferred(*record), 10000 - (600 - 4 * 20));
  EXPECT_EQ(ReportedBytesRemaining(*record), 12000 - 9480);

  record->BlockLength = 1024;  // less than one block queued: no correction
  EXPECT_EQ(ReportedBytesTransferred(*record), 10000);
  record->BlockLength = 0;  // no block length: no overhead to discount, no fault
  EXPECT_EQ(ReportedBytesTransferred(*record), 10000 - 600);
  record->TransferredCount = 100;
  record->BlockLength = 128;
  EXPECT_EQ(ReportedBytesTransferred(*record), 0);  // never below zero
  EXPECT_EQ(ReportedBytesRemaining(*record), 12000);
}

TEST(ReportedBytes, NoPortNoBytes) {
  auto record = NewRecord();
  record->TransferredCount = 500;
  record->FileLength = 400;
  EXPECT_EQ(ReportedBytesTransferred(*record), 0);
  EXPECT_EQ(ReportedBytesRemaining(*record), 400);
}

TEST(EstimateTransferSeconds, FromLineRateBlockOverheadAndTurnaround) {
  struct Case {
    std::int32_t cps, block, overhead, turn_ms, bytes, seconds;
  };
  const Case cases[] = {
      {960, 128, 0, 0, 9600, 10},
      {960, 128, 32, 0, 7680, 10},     // 80 % efficiency
      {960, 240, 0, 1000, 19200, 100}, // a second's turnaround per block
      {960, 128, 0, 0, 0, 0},
      {960, 0, 0, 0, 1000, 0},         // nothing to divide by
      {0, 128, 0, 0, 1000, 0},
  };
  for (const Case& c : cases) {
    auto record = NewRecord();
    record->CharsPerSecond = c.cps;
    record->BlockLength = c.block;
    record->Overhead = c.overhead;
    record->TurnDelay = c.turn_ms;
    EXPECT_EQ(EstimateTransferSeconds(*record, c.bytes), c.seconds)
        << c.cps << " " << c.block << " " << c.overhead << " " << c.turn_ms;
  }
}

TEST(CharsPerSecond, FollowTheOpenPortsCharacterFrame) {
  MemoryPort port;
  auto record = NewRecord(&port.Port());
  EXPECT_EQ(record->CharsPerSecond, 19200 / 10);
  struct Case {
    std::uint16_t data_bits;
    TParity parity;
    std::int32_t cps;
  };
  const Case cases[] = {{8, pNone, 11520}, {7, pEven, 11520}, {8, pOdd, 10472}, {5, pNone, 16457}};
  for (const Case& c : cases) {
    port.Port().SetDataBits(c.data_bits);
    port.Port().SetParity(c.parity);
    UpdateCharsPerSecond(*record, 115200);
    EXPECT_EQ(record->CharsPerSecond, c.cps) << c.data_bits << " " << c.parity;
  }
  TQorComPort closed;
  auto idle = NewRecord(&closed);
  EXPECT_EQ(idle->CharsPerSecond, 0);
  UpdateCharsPerSecond(*idle, 9600);
  EXPECT_EQ(idle->CharsPerSecond, 960);
}

}  // namespace
}  // namespace qor::testing
