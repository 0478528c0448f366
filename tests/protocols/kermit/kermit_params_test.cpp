// How the two sides' Send-Init parameters combine.
#include <gtest/gtest.h>

#include <string>

#include "protocols/kermit/kermit_params.hpp"
#include "tests/protocols/kermit/kermit_record.hpp"

namespace qor::testing {
namespace {

struct Ours {
  std::uint32_t max_len = 80;
  std::uint32_t long_len = 0;
  std::uint32_t windows = 0;
  std::uint8_t hibit = 'Y';
  std::int32_t method = bcmChecksum;
};

struct Agreed {
  std::int32_t max_len;
  bool long_packets;
  std::int32_t block_length;
  std::int32_t table_size;
  bool hibit;
  std::uint8_t hibit_prefix;
  bool repeat;
  std::uint8_t check;
};

struct NegotiateCase {
  const char* what;
  Ours ours;
  std::string remote;  // the received Send-Init field
  bool receiver;
  Agreed agreed;
};

void Agrees(const NegotiateCase& c) {
  KermitRecord r;
  TProtocolData& data = r.data();
  data.BlockCheckMethod = c.ours.method;
  ASSERT_EQ(SetKermitMaxLen(data, c.ours.max_len), 0);
  ASSERT_EQ(SetKermitMaxLongLen(data, c.ours.long_len), 0);
  ASSERT_EQ(SetKermitMaxWindows(data, c.ours.windows), 0);
  ASSERT_EQ(SetKermitHibitPrefix(data, c.ours.hibit), 0);
  r.SetReceived(c.remote);
  NegotiateParams(data, c.receiver);
  const TKermitData& kd = r.kd();
  const Agreed& a = c.agreed;
  EXPECT_EQ(data.ProtocolError, 0);
  EXPECT_EQ(kd.LocalParams.MaxLen, a.max_len);
  EXPECT_EQ(kd.LongPacketsInUse, a.long_packets);
  EXPECT_EQ(data.BlockLength, a.block_length);
  EXPECT_EQ(kd.TableSize, a.table_size);
  EXPECT_EQ(kd.WindowBuffer.size(), static_cast<std::size_t>(a.table_size * a.block_length));
  EXPECT_EQ(kd.HibitQuoting, a.hibit);
  if (a.hibit) {
    EXPECT_EQ(kd.LocalParams.HibitPrefix, a.hibit_prefix);
  }
  EXPECT_EQ(kd.RepeatCompression, a.repeat);
  EXPECT_EQ(kd.LocalParams.CheckType, a.check);
  EXPECT_EQ(data.BlockCheckMethod, CheckTypeToMethod(a.check));
}

// The first nine fields of a Send-Init, and what follows them.
std::string Init(const std::string& first9, const std::string& rest = "") {
  return first9 + rest;
}

const NegotiateCase kCases[] = {
        NegotiateCase{"wizard vs wizard", {}, Init("p% @-#Y1~"), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"peer asks 40", {}, Init("H% @-#Y1~"), false,
                      {40, false, 40, 1, false, 0, true, '1'}},
        NegotiateCase{"peer asks 94", {}, Init("~% @-#Y1~"), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"empty answer: the protocol defaults", {}, "", false,
                      {80, false, 80, 1, false, 0, false, '1'}},
        NegotiateCase{"blank length", {}, Init("  "), false,
                      {80, false, 80, 1, false, 0, false, '1'}},
        NegotiateCase{"boot loader", {}, Init("p% @-#N1 "), false,
                      {80, false, 80, 1, false, 0, false, '1'}},
        NegotiateCase{"7-bit peer asks for 8-bit prefixing", {}, Init("p% @-#&1~"), false,
                      {80, false, 80, 1, true, '&', true, '1'}},
        NegotiateCase{"we ask, peer agrees", {80, 0, 0, '&'}, Init("p% @-#Y1~"), false,
                      {80, false, 80, 1, true, '&', true, '1'}},
        NegotiateCase{"we ask, peer refuses", {80, 0, 0, '&'}, Init("p% @-#N1~"), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"8-bit prefix equal to the control prefix", {}, Init("p% @-##1~"), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"long packets, no length named", {80, 1024}, Init("p% @-#Y2~", "\" "),
                      false, {80, true, 500, 1, false, 0, true, '2'}},
        NegotiateCase{"long packets of length 0", {80, 1024}, Init("p% @-#Y2~", "\"   "), false,
                      {80, true, 80, 1, false, 0, true, '2'}},
        NegotiateCase{"long packets 1023", {80, 1024}, Init("p% @-#Y2~", "\" *i"), false,
                      {80, true, 1023, 1, false, 0, true, '2'}},
        NegotiateCase{"long packets 2000", {80, 1024}, Init("p% @-#Y2~", "\" 5%"), false,
                      {80, true, 500, 1, false, 0, true, '2'}},
        NegotiateCase{"long packets offered but not wanted", {}, Init("p% @-#Y1~", "\" *i"),
                      false, {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"windows: the smaller wins", {80, 0, 8}, Init("p% @-#Y1~", "$$"), false,
                      {80, false, 80, 4, false, 0, true, '1'}},
        NegotiateCase{"windows: ours is smaller", {80, 0, 8}, Init("p% @-#Y1~", "$;"), false,
                      {80, false, 80, 8, false, 0, true, '1'}},
        NegotiateCase{"windows: peer has none", {80, 0, 8}, Init("p% @-#Y1~", "  "), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"windows: peer names 0", {80, 0, 8}, Init("p% @-#Y1~", "$ "), false,
                      {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"check 3 agreed", {80, 0, 0, 'Y', bcmCrcK}, Init("p% @-#Y3~"), false,
                      {80, false, 80, 1, false, 0, true, '3'}},
        NegotiateCase{"check 3 refused: both use 1", {80, 0, 0, 'Y', bcmCrcK},
                      Init("p% @-#Y1~"), false, {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"check 2 answered with 3: both use 1", {80, 0, 0, 'Y', bcmChecksum2},
                      Init("p% @-#Y3~"), false, {80, false, 80, 1, false, 0, true, '1'}},
        NegotiateCase{"receiver adopts the sender's check", {}, Init("p% @-#Y3~"), true,
                      {80, false, 80, 1, false, 0, true, '3'}},
        NegotiateCase{"receiver falls back on a bad check", {}, Init("p% @-#Y9~"), true,
                      {80, false, 80, 1, false, 0, true, '1'}}};

TEST(KermitNegotiate, Table) {
  for (const NegotiateCase& c : kCases) {
    SCOPED_TRACE(c.what);
    Agrees(c);
  }
}

TEST(KermitNegotiate, ARealPeersLongAnswerIsCutToTheBlock) {
  // A C-Kermit answer: more fields than the block holds.
  KermitRecord r;
  TProtocolData& data = r.data();
  ASSERT_EQ(SetKermitMaxLongLen(data, 1024), 0);
  ASSERT_EQ(SetKermitMaxWindows(data, 8), 0);
  LoadSettings(data);
  r.SetReceived("~/ @-#Y2~^(*i0___F\"U1@Y");
  NegotiateParams(data, false);
  EXPECT_EQ(r.kd().RemoteParams[19], 'U');
  EXPECT_TRUE(r.kd().LongPacketsInUse);
  EXPECT_EQ(data.BlockLength, 1023);
  EXPECT_EQ(r.kd().TableSize, 8);
}

TEST(KermitNegotiate, EachTransferStartsFromTheSettings) {
  KermitRecord r;
  TProtocolData& data = r.data();
  ASSERT_EQ(SetKermitMaxWindows(data, 8), 0);
  r.SetReceived("H% @-#Y1~  ");
  NegotiateParams(data, false);
  ASSERT_EQ(r.kd().LocalParams.MaxLen, 40);
  ASSERT_EQ(r.kd().LocalParams.WindowSize, 1);
  LoadSettings(data);
  EXPECT_EQ(r.kd().LocalParams.MaxLen, 80);
  EXPECT_EQ(r.kd().LocalParams.WindowSize, 8);
  EXPECT_EQ(r.kd().TableSize, 8);
}

}  // namespace
}  // namespace qor::testing
