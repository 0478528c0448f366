// The header and data assemblers against whole, split, garbled and oversized input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "tests/protocols/kermit/kermit_record.hpp"

namespace qor::testing {
namespace {

using namespace std::string_literals;

struct Received {
  std::int32_t status = 0;  // of the last assembler run
  char type = 0;
  std::int32_t seq = -1;
  std::string field;
};

Received Only(std::int32_t status) {
  Received r;
  r.status = status;
  return r;
}

void Feed(KermitRecord& r, const std::string& chars) {
  const auto n = InBufAppend(r.kd(), reinterpret_cast<const std::uint8_t*>(chars.data()),
                             static_cast<std::int32_t>(chars.size()));
  ASSERT_EQ(n, static_cast<std::int32_t>(chars.size()));
}

// Runs the assemblers over what InBuf holds, as the reply and collect states
// do; call again after feeding more.
class Assembler {
 public:
  explicit Assembler(KermitRecord& r) : r_(r) {}

  bool Collecting() const { return collecting_; }

  Received Run() {
    TProtocolData& data = r_.data();
    TKermitData& kd = r_.kd();
    if (!collecting_) {
      CollectHeader(data);
      if (data.ProtocolStatus != psGotHeader) return Only(data.ProtocolStatus);
      kd.HeaderState = 0;
      StartCollectingData(kd);
      collecting_ = true;
    }
    CollectData(data);
    if (data.ProtocolStatus == psNoData) return Only(psNoData);
    collecting_ = false;
    return {data.ProtocolStatus, static_cast<char>(kd.RxPacketType), kd.RxSeq,
            std::string(reinterpret_cast<char*>(data.DataBlock),
                        static_cast<std::size_t>(kd.RxDataLen))};
  }

 private:
  KermitRecord& r_;
  bool collecting_ = false;
};

std::string Packet(std::uint8_t check, char type, std::int32_t seq, const std::string& field) {
  TKermitParams p;
  std::vector<std::uint8_t> out;
  BuildPacket(p, check, false, static_cast<std::uint8_t>(type), seq,
              reinterpret_cast<const std::uint8_t*>(field.data()),
              static_cast<std::int32_t>(field.size()), out);
  return AsString(out);
}

void Negotiate(KermitRecord& r, std::uint8_t check) {
  r.kd().LocalParams.CheckType = check;
  r.kd().Negotiated = true;
}

TEST(KermitAssembler, EmptyAcknowledge) {
  KermitRecord r;
  Feed(r, "\x01#%YC\r");
  const Received got = Assembler(r).Run();
  EXPECT_EQ(got.status, psGotData);
  EXPECT_EQ(got.type, 'Y');
  EXPECT_EQ(got.seq, 5);
  EXPECT_EQ(got.field, "");
}

TEST(KermitAssembler, APeersSendInitAnswer) {
  KermitRecord r;
  const std::string answer = "\x01" "9 Y~/ @-#Y1~^(*i0___F\"U1@M\r";
  Feed(r, answer);
  const Received got = Assembler(r).Run();
  EXPECT_EQ(got.status, psGotData);
  EXPECT_EQ(got.field, "~/ @-#Y1~^(*i0___F\"U1@");
}

struct Wire {
  const char* what;
  std::uint8_t check;
  std::string packet;
  std::string field;
};

// Every way of cutting the packet into three handler calls gives the packet
// that arrives whole.
void SameAsWhole(const Wire& w) {
  const std::string wire = "\r\0junk"s + w.packet;
  for (std::size_t i = 0; i <= wire.size(); i += 7) {
    for (std::size_t j = i; j <= wire.size(); j += 5) {
      KermitRecord r;
      Negotiate(r, w.check);
      Assembler a(r);
      Feed(r, wire.substr(0, i));
      Received got = a.Run();
      Feed(r, wire.substr(i, j - i));
      if (got.type == 0) got = a.Run();
      Feed(r, wire.substr(j));
      if (got.type == 0) got = a.Run();
      ASSERT_EQ(got.status, psGotData) << i << " " << j;
      EXPECT_EQ(got.type, 'D');
      EXPECT_EQ(got.seq, 17);
      EXPECT_EQ(got.field, w.field);
    }
  }
}

const std::string kLong(1000, 'z');

TEST(KermitAssembler, SplitAnywhereSameAsWhole) {
  for (const Wire& w : {Wire{"check 1", '1', Packet('1', 'D', 17, "hello"), "hello"},
                        Wire{"check 2", '2', Packet('2', 'D', 17, "hello"), "hello"},
                        Wire{"check 3", '3', Packet('3', 'D', 17, "hello"), "hello"},
                        Wire{"long", '3', Packet('3', 'D', 17, kLong), kLong}}) {
    SCOPED_TRACE(w.what);
    SameAsWhole(w);
  }
}

// While the data is being collected, what the packet still lacks is exactly
// what has not been fed yet, whether or not the assembler has seen it.
TEST(KermitAssembler, KnowsHowManyBytesThePacketStillLacks) {
  for (const Wire& w : {Wire{"check 1", '1', Packet('1', 'D', 17, "hello"), "hello"},
                        Wire{"check 3", '3', Packet('3', 'D', 17, "hello"), "hello"},
                        Wire{"long", '3', Packet('3', 'D', 17, kLong), kLong}}) {
    SCOPED_TRACE(w.what);
    const std::string& p = w.packet;
    const std::size_t end = p.back() == '\r' ? p.size() - 1 : p.size();
    KermitRecord r;
    Negotiate(r, w.check);
    Assembler a(r);
    int checked = 0;
    Received got;
    for (std::size_t fed = 0; fed < end && got.type == 0;) {
      const std::size_t step = std::min<std::size_t>(3, end - fed);
      Feed(r, p.substr(fed, step));
      fed += step;
      const auto left = static_cast<std::int32_t>(end - fed);
      if (a.Collecting()) {
        EXPECT_EQ(DataBytesMissing(r.kd()), left) << "unread, at " << fed;
      }
      got = a.Run();
      if (got.type != 0 || !a.Collecting()) continue;
      EXPECT_EQ(DataBytesMissing(r.kd()), left) << "read, at " << fed;
      ++checked;
    }
    EXPECT_EQ(got.field, w.field);
    EXPECT_GT(checked, 0);
  }
}

TEST(KermitAssembler, BadCheck) {
  for (const std::uint8_t check : {'1', '2', '3'}) {
    KermitRecord r;
    Negotiate(r, check);
    std::string wire = Packet(check, 'D', 3, "payload");
    wire[6] ^= 1;  // a data character
    Feed(r, wire);
    EXPECT_EQ(Assembler(r).Run().status, psBlockCheckError) << check;
  }
}

TEST(KermitAssembler, MarkInsideAHeaderRestartsIt) {
  KermitRecord r;
  Feed(r, "\x01" "0 " + Packet('1', 'Y', 9, ""));
  const Received got = Assembler(r).Run();
  EXPECT_EQ(got.status, psGotData);
  EXPECT_EQ(got.seq, 9);
}

TEST(KermitAssembler, DamagedExtendedHeaderIsSkipped) {
  KermitRecord r;
  Negotiate(r, '3');
  std::string damaged = Packet('3', 'D', 1, kLong);
  damaged[5] = '~';  // LENX2: the header check no longer matches
  Feed(r, damaged + Packet('3', 'Y', 2, ""));
  const Received got = Assembler(r).Run();
  EXPECT_EQ(got.status, psGotData);
  EXPECT_EQ(got.type, 'Y');
  EXPECT_EQ(got.seq, 2);
}

TEST(KermitAssembler, OversizedDataFieldIsCutAndFails) {
  KermitRecord r;
  Negotiate(r, '1');
  // An extended header (with a valid header check) announcing 5000 characters.
  const std::string wire = Packet('1', 'D', 4, std::string(5000, 'q'));
  Assembler a(r);
  Received got = Only(psNoHeader);
  for (std::size_t at = 0; got.status == psNoHeader || got.status == psNoData; at += 2000) {
    ASSERT_LT(at, wire.size());
    Feed(r, wire.substr(at, 2000));
    got = a.Run();
  }
  EXPECT_EQ(got.status, psBlockCheckError);
  EXPECT_EQ(r.kd().RxDataLen, kKermitDataSize);
}

TEST(KermitInBuf, TakesNoMoreThanItHolds) {
  KermitRecord r;
  const std::string flood(10000, 'x');
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flood.data());
  EXPECT_EQ(InBufAppend(r.kd(), bytes, 10000), kKermitInBufSize);
  EXPECT_EQ(InBufAppend(r.kd(), bytes, 1), 0);
  // Consuming makes room again at the front.
  CollectHeader(r.data());
  EXPECT_TRUE(InBufEmpty(r.kd()));
  EXPECT_EQ(InBufAppend(r.kd(), bytes, 10000), kKermitInBufSize);
}

TEST(KermitInBuf, CompactsOnceHalfIsConsumed) {
  KermitRecord r;
  Feed(r, std::string(2100, 'x') + Packet('1', 'Y', 1, "") + Packet('1', 'Y', 2, ""));
  Assembler a(r);
  EXPECT_EQ(a.Run().seq, 1);
  EXPECT_GT(r.kd().InRead, kKermitInBufSize / 2);
  Feed(r, Packet('1', 'Y', 3, ""));
  EXPECT_EQ(r.kd().InRead, 1);
  EXPECT_EQ(a.Run().seq, 2);
  EXPECT_EQ(a.Run().seq, 3);
}

}  // namespace
}  // namespace qor::testing
