// Packets on the wire, byte for byte, against the protocol's examples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_params.hpp"
#include "tests/protocols/kermit/kermit_record.hpp"

namespace qor::testing {
namespace {

std::string Build(const TKermitParams& p, std::uint8_t check, bool pad, char type,
                  std::int32_t seq, const std::string& field) {
  std::vector<std::uint8_t> out;
  BuildPacket(p, check, pad, static_cast<std::uint8_t>(type), seq,
              reinterpret_cast<const std::uint8_t*>(field.data()),
              static_cast<std::int32_t>(field.size()), out);
  return AsString(out);
}

TEST(KermitPacket, WizardSendInitIsExactlyTheProtocolExample) {
  KermitRecord r;
  ASSERT_EQ(SetKermitMaxLen(r.data(), 80), 0);
  ASSERT_EQ(SetKermitTimeoutSecs(r.data(), 5), 0);
  ASSERT_EQ(SetKermitPadding(r.data(), 0, 0), 0);
  const auto field = SendInitField(r.kd().LocalParams);
  const std::string init(field.begin(), field.end());
  EXPECT_EQ(init, "p% @-#Y1~    ");
  EXPECT_EQ(Build(r.kd().LocalParams, '1', false, 'S', 0, init), "\x01" "0 Sp% @-#Y1~    Q\r");
}

TEST(KermitPacket, SendInitCarriesLongPacketsAndWindows) {
  KermitRecord r;
  ASSERT_EQ(SetKermitMaxLongLen(r.data(), 1024), 0);
  ASSERT_EQ(SetKermitMaxWindows(r.data(), 8), 0);
  const auto field = SendInitField(r.kd().LocalParams);
  // Capabilities 6, window 8, 1024 = 10 * 95 + 74.
  EXPECT_EQ(std::string(field.begin() + 9, field.end()), "&(*j");
}

TEST(KermitPacket, EmptyAcknowledgeAtSequenceFive) {
  TKermitParams p;
  EXPECT_EQ(Build(p, '1', false, 'Y', 5, ""), "\x01#%YC\r");
}

TEST(KermitPacket, EachCheckTypeEndsTheDataPacket) {
  TKermitParams p;
  EXPECT_EQ(Build(p, '1', false, 'D', 2, "Hello"), "\x01(\"DHello$\r");
  EXPECT_EQ(Build(p, '2', false, 'D', 2, "Hello"), "\x01)\"DHello*#\r");
  EXPECT_EQ(Build(p, '3', false, 'D', 2, "Hello"), "\x01*\"DHello$T]\r");
}

TEST(KermitPacket, LengthNinetyFourIsTheLastNormalHeader) {
  TKermitParams p;
  struct Case {
    int data;
    std::string head;
    std::string tail;
  };
  // Check type 2: L = data + 4.
  for (const Case& c : {Case{90, "\x01~!D", "+]\r"}, Case{91, "\x01 !D }B", "/?\r"},
                        Case{92, "\x01 !D ~C", "1\"\r"}}) {
    const std::string wire = Build(p, '2', false, 'D', 1, std::string(c.data, 'a'));
    EXPECT_EQ(wire.substr(0, c.head.size()), c.head) << c.data;
    EXPECT_EQ(wire.substr(wire.size() - 3), c.tail) << c.data;
    EXPECT_EQ(wire.size(), c.head.size() + c.data + 2 + 1) << c.data;
  }
}

TEST(KermitPacket, NinetyAndNinetyThreeCharactersWithCheckOne) {
  TKermitParams p;
  EXPECT_EQ(Build(p, '1', false, 'D', 0, std::string(90, 'x'))[1], ToChar(93));
  const std::string wire = Build(p, '1', false, 'D', 0, std::string(93, 'x'));
  // LEN 0, SEQ 0, TYPE, LENX1 tochar(0), LENX2 tochar(94).
  EXPECT_EQ(wire.substr(1, 5), "  D ~");
}

TEST(KermitPacket, LongPacketHeaderAndCrc) {
  TKermitParams p;
  const std::string wire = Build(p, '3', false, 'D', 63, std::string(1000, 'x'));
  EXPECT_EQ(wire.substr(0, 7), "\x01 _D*U#");
  EXPECT_EQ(wire.substr(wire.size() - 4), "/XP\r");
}

TEST(KermitPacket, PaddingAndTerminatorComeFromOurParameters) {
  TKermitParams p;
  p.PadCount = 3;
  p.PadChar = 0x7F;
  p.Terminator = '\n';
  EXPECT_EQ(Build(p, '1', true, 'Y', 5, ""), "\x7F\x7F\x7F\x01#%YC\n");
  EXPECT_EQ(Build(p, '1', false, 'Y', 5, ""), "\x01#%YC\n");
}

TEST(KermitPacket, SequenceArithmeticWraps) {
  EXPECT_EQ(NextSeq(63), 0);
  EXPECT_EQ(NextSeq(5), 6);
  EXPECT_EQ(PrevSeq(0), 63);
  EXPECT_EQ(PrevSeq(6), 5);
}

}  // namespace
}  // namespace qor::testing
