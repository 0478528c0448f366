// The record part's life and the option setters.
#include <gtest/gtest.h>

#include "tests/protocols/kermit/kermit_record.hpp"

namespace qor::testing {
namespace {

TEST(KermitOptions, InitGivesTheProtocolDefaults) {
  KermitRecord r;
  const TProtocolData& data = r.data();
  const TKermitParams& p = r.kd().LocalParams;
  EXPECT_EQ(data.ProtocolType, ptKermit);
  EXPECT_EQ(data.BlockLength, 80);
  EXPECT_EQ(data.BlockCheckMethod, bcmChecksum);
  EXPECT_EQ(data.EngineFlag, -1);
  EXPECT_EQ(r.kd().TableSize, 1);
  EXPECT_EQ(r.kd().WindowBuffer.size(), 80u);
  EXPECT_EQ(r.kd().InBuf.size(), static_cast<std::size_t>(kKermitInBufSize));
  EXPECT_EQ(data.DataBlock, r.kd().DataBuffer.data());
  EXPECT_EQ(p.MaxLen, 80);
  EXPECT_EQ(p.TimeoutSecs, 5);
  EXPECT_EQ(p.Terminator, 13);
  EXPECT_EQ(p.CtlPrefix, '#');
  EXPECT_EQ(p.HibitPrefix, 'Y');
  EXPECT_EQ(p.RepeatPrefix, '~');
  EXPECT_EQ(p.CheckType, '1');
}

TEST(KermitOptions, DoneReleasesThePart) {
  std::unique_ptr<TProtocolData> data;
  InitProtocolData(data, nullptr, 0);
  KermitInit(*data);
  KermitDone(*data);
  EXPECT_EQ(data->Engine, nullptr);
  EXPECT_EQ(data->DataBlock, nullptr);
  DoneProtocolData(data);
}

TEST(KermitOptions, SettersCheckTheirRangeAndTheProtocol) {
  struct Case {
    std::int32_t (*set)(TProtocolData&, std::uint32_t);
    std::uint32_t value;
    std::int32_t result;
  };
  std::unique_ptr<TProtocolData> other;
  InitProtocolData(other, nullptr, 0);
  for (const Case& c : {Case{&SetKermitMaxLen, 94, 0}, Case{&SetKermitMaxLen, 95, -1002},
                        Case{&SetKermitMaxLen, 9, -1002}, Case{&SetKermitMaxLongLen, 1024, 0},
                        Case{&SetKermitMaxLongLen, 1025, -1002}, Case{&SetKermitMaxLongLen, 0, 0},
                        Case{&SetKermitMaxWindows, 27, 0}, Case{&SetKermitMaxWindows, 28, -1002},
                        Case{&SetKermitTimeoutSecs, 7, 0}}) {
    SCOPED_TRACE(c.value);
    KermitRecord r;
    EXPECT_EQ(c.set(r.data(), c.value), c.result);
    EXPECT_EQ(c.set(*other, c.value), -6015);
  }
  DoneProtocolData(other);
}

TEST(KermitOptions, LongPacketsTurnOnTheirBitsAndATwoCharacterCheck) {
  KermitRecord r;
  TProtocolData& data = r.data();
  ASSERT_EQ(SetKermitMaxLongLen(data, 1000), 0);
  EXPECT_NE(data.Options & kOptKermitLongPackets, 0u);
  EXPECT_NE(r.kd().LocalParams.Capabilities & kCapLongPackets, 0);
  EXPECT_EQ(data.BlockLength, 1000);
  EXPECT_EQ(data.BlockCheckMethod, bcmChecksum2);
  EXPECT_EQ(r.kd().LocalParams.CheckType, '2');
  ASSERT_EQ(SetKermitMaxLongLen(data, 0), 0);
  EXPECT_EQ(data.Options & kOptKermitLongPackets, 0u);
  EXPECT_EQ(r.kd().LocalParams.Capabilities & kCapLongPackets, 0);
  EXPECT_EQ(data.BlockLength, 80);
}

TEST(KermitOptions, ACrcChosenBeforeLongPacketsStays) {
  KermitRecord r;
  r.data().BlockCheckMethod = bcmCrcK;
  ASSERT_EQ(SetKermitMaxLongLen(r.data(), 1000), 0);
  EXPECT_EQ(r.kd().LocalParams.CheckType, '3');
}

TEST(KermitOptions, WindowsSizeTheBuffer) {
  KermitRecord r;
  TProtocolData& data = r.data();
  ASSERT_EQ(SetKermitMaxLongLen(data, 1024), 0);
  ASSERT_EQ(SetKermitMaxWindows(data, 27), 0);
  EXPECT_NE(data.Options & kOptKermitSlidingWindows, 0u);
  EXPECT_EQ(r.kd().TableSize, 27);
  EXPECT_EQ(r.kd().WindowBuffer.size(), 27u * 1024u);
  ASSERT_EQ(SetKermitMaxWindows(data, 0), 0);
  EXPECT_EQ(data.Options & kOptKermitSlidingWindows, 0u);
  EXPECT_EQ(r.kd().TableSize, 1);
}

TEST(KermitOptions, ChangesDuringATransferWaitForTheNext) {
  KermitRecord r;
  TProtocolData& data = r.data();
  data.InProgress = 1;
  ASSERT_EQ(SetKermitMaxWindows(data, 8), 0);
  ASSERT_EQ(SetKermitPadding(data, 'x', 2), 0);
  EXPECT_EQ(r.kd().TableSize, 1);
  EXPECT_EQ(r.kd().LocalParams.PadCount, 0);
  data.InProgress = 0;
  LoadSettings(data);
  EXPECT_EQ(r.kd().TableSize, 8);
  EXPECT_EQ(r.kd().LocalParams.PadCount, 2);
  EXPECT_EQ(r.kd().LocalParams.PadChar, 'x');
}

}  // namespace
}  // namespace qor::testing
