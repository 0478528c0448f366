// Choosing an Xmodem or Ymodem type, the switches behind it and the block wait.
#include <gtest/gtest.h>

#include "comm/errors/exceptions.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/xymodem/xymodem.hpp"

namespace qor {
namespace {

TEST(Options, EachTypeSetsItsBlocksAndCheck) {
  struct Case {
    TProtocolType type;
    std::int32_t block_length;
    TBlockCheckMethod check;
    std::int32_t turn_delay;
  };
  const Case cases[] = {
      {ptXmodem, 128, bcmChecksum, 1000}, {ptXmodemCRC, 128, bcmCrc16, 1000},
      {ptXmodem1K, 1024, bcmCrc16, 1000}, {ptXmodem1KG, 1024, bcmCrc16, 0},
      {ptYmodem, 1024, bcmCrc16, 1000},   {ptYmodemG, 1024, bcmCrc16, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    TQorProtocol p;
    p.SetProtocolType(c.type);
    EXPECT_EQ(p.ProtocolType(), c.type);
    EXPECT_EQ(p.Data().ProtocolType, c.type);
    EXPECT_EQ(p.Data().BlockLength, c.block_length);
    EXPECT_EQ(p.BlockCheckMethod(), c.check);
    EXPECT_EQ(p.Data().TurnDelay, c.turn_delay);
  }
}

TEST(Options, TheBlockCheckSwitchesBetweenPlainXmodemAndXmodemCrc) {
  TQorProtocol p;
  p.SetProtocolType(ptXmodem);
  p.SetBlockCheckMethod(bcmCrc16);
  EXPECT_EQ(p.ProtocolType(), ptXmodemCRC);
  p.SetBlockCheckMethod(bcmCrc32);  // not an Xmodem check: ignored
  EXPECT_EQ(p.ProtocolType(), ptXmodemCRC);
  p.SetBlockCheckMethod(bcmChecksum);
  EXPECT_EQ(p.ProtocolType(), ptXmodem);
  p.SetProtocolType(ptYmodem);
  p.SetBlockCheckMethod(bcmChecksum);  // Ymodem always checks with a CRC
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc16);
}

TEST(Options, TheBlockWaitIsKeptWhileAnotherEngineIsSelected) {
  TQorProtocol p;
  p.SetProtocolType(ptKermit);
  p.SetXYmodemBlockWait(40);
  p.SetProtocolType(ptXmodem1K);
  EXPECT_EQ(XY(p.Data()).BlockWait, 40);
  p.SetXYmodemBlockWait(20);
  p.SetProtocolType(ptYmodemG);
  EXPECT_EQ(XY(p.Data()).BlockWait, 20);
  EXPECT_EQ(p.XYmodemBlockWait(), 20u);
}

TEST(Options, SwitchesBelongToXmodemAndYmodemOnly) {
  TQorProtocol p;
  p.SetProtocolType(ptKermit);
  for (auto set : {&SetXmodemCrc, &SetXmodem1K, &SetXmodemG}) EXPECT_EQ(set(p.Data(), true), -6015);
  EXPECT_EQ(SetXYmodemBlockWait(p.Data(), 5), -6015);
}

TEST(Options, SwitchesNameTheType) {
  TQorProtocol p;
  p.SetProtocolType(ptXmodemCRC);
  TProtocolData& d = p.Data();
  EXPECT_EQ(SetXmodem1K(d, true), 0);
  EXPECT_EQ(d.ProtocolType, ptXmodem1K);
  EXPECT_EQ(SetXmodemCrc(d, false), 0);  // 1K blocks always go with a CRC
  EXPECT_EQ(d.ProtocolType, ptXmodem1K);
  EXPECT_EQ(SetXmodemG(d, true), 0);
  EXPECT_EQ(d.ProtocolType, ptXmodem1KG);
  EXPECT_EQ(SetXmodemG(d, false), 0);
  EXPECT_EQ(SetXmodem1K(d, false), 0);
  EXPECT_EQ(d.ProtocolType, ptXmodemCRC);
  EXPECT_EQ(d.BlockLength, 128);
  EXPECT_EQ(SetXmodemCrc(d, false), 0);
  EXPECT_EQ(d.ProtocolType, ptXmodem);
  EXPECT_EQ(d.BlockCheckMethod, bcmChecksum);
}

}  // namespace
}  // namespace qor
