// Our Xmodem receiver against a sender the test plays byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "protocols/xymodem/xymodem_data.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kPort = 221;

std::string Data(char c) { return std::string(128, c); }

struct Receiver {
  explicit Receiver(TProtocolType type) {
    UseProtocol(end, type);
    end.Protocol().SetFileName(stored.string());
  }
  // Starts and reads the handshake character.
  std::string Start() {
    end.Protocol().StartReceive();
    return ReadPumping(line, 1);
  }
  // Sends bytes and reads the answer of n bytes.
  std::string Say(const std::string& bytes, std::size_t n = 1, int ms = 5000) {
    line.Write(bytes);
    return ReadPumping(line, n, ms);
  }
  std::string Stored() const { return TempDir::Read(stored); }

  TempDir dir;
  fs::path stored = dir.Path() / "stored.bin";
  PtyPair line;
  Endpoint end{line.Path(), kPort};
};

TEST(Receive, ADuplicateIsAcknowledgedAndNotWrittenAndTheSecondEotEndsTheFile) {
  Receiver r(ptXmodemCRC);
  EXPECT_EQ(r.Start(), "C");
  EXPECT_EQ(r.Say(Block(1, 1, Data('a'), true)), kAck);
  EXPECT_EQ(r.Say(Block(1, 1, Data('a'), true)), kAck);
  EXPECT_EQ(Locked(r.end, [](TProtocolData& d) { return d.ProtocolStatus; }), psDuplicateBlock);
  EXPECT_EQ(r.Say(Block(1, 2, Data('b'), true)), kAck);
  EXPECT_EQ(r.Say(kEot), kNak);
  EXPECT_EQ(r.Say(kEot), kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  EXPECT_EQ(r.Stored(), Data('a') + Data('b'));
}

TEST(Receive, OneEotAndSilenceStillEndsTheFile) {
  Receiver r(ptXmodem);
  EXPECT_EQ(r.Start(), kNak);
  EXPECT_EQ(r.Say(Block(1, 1, Data('a'), false)), kAck);
  EXPECT_EQ(r.Say(kEot), kNak);
  // The block wait (one second) runs out.
  EXPECT_EQ(ReadPumping(r.line, 1, 3000), kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  EXPECT_EQ(r.end.Protocol().StatusCode(), psEndFile);
  EXPECT_EQ(r.Stored(), Data('a'));
}

TEST(Receive, LongAndShortBlocksMixAndADamagedOneIsAskedForAgain) {
  Receiver r(ptXmodem1K);
  EXPECT_EQ(r.Start(), "C");
  const std::string big = RandomBytes(1024, 1);
  std::string damaged = Block(2, 1, big, true);
  damaged[500] ^= 0x40;
  EXPECT_EQ(r.Say(damaged), kNak);
  EXPECT_EQ(r.Say(Block(2, 1, big, true)), kAck);
  EXPECT_EQ(r.Say(Block(1, 2, Data('z'), true)), kAck);
  EXPECT_EQ(r.Say(kEot + kEot, 2), kNak + kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  EXPECT_EQ(r.end.Protocol().TotalErrors(), 1);
  EXPECT_EQ(r.Stored(), big + Data('z'));
}

// A block that lost bytes on the line: at its time-out what did come of it
// is thrown away with it, even bytes that look like the start of a block.
TEST(Receive, AShortBlockIsAskedForAgainWholeAtItsTimeOut) {
  Receiver r(ptXmodem1K);
  EXPECT_EQ(r.Start(), "C");
  const std::string starts(1024, '\x02');  // every data byte an STX
  const std::string block = Block(2, 1, starts, true);
  r.line.Write(block.substr(0, 500));
  EXPECT_EQ(ReadPumping(r.line, 1, 300), "");
  // All but the last two bytes: the block wait (one second) runs out.
  EXPECT_EQ(r.Say(block.substr(500, block.size() - 502), 1, 3000), kNak);
  EXPECT_EQ(r.Say(block), kAck);
  EXPECT_EQ(r.Say(kEot + kEot, 2), kNak + kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  EXPECT_EQ(r.Stored(), starts);
}

TEST(Receive, ThreeCansInARowEndIt) {
  Receiver r(ptXmodemCRC);
  EXPECT_EQ(r.Start(), "C");
  EXPECT_EQ(r.Say(Block(1, 1, Data('a'), true)), kAck);
  // Two CANs and then a block: noise, the transfer goes on.
  EXPECT_EQ(r.Say(kCan + kCan + Block(1, 2, Data('b'), true)), kAck);
  EXPECT_EQ(r.Say(kCan + kCan + kCan, kCancelSequence.size()), kCancelSequence);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, -6005);
  EXPECT_EQ(r.Stored(), Data('a') + Data('b'));  // what came is kept
}

TEST(Receive, AsksWithNakAfterFourUnansweredCs) {
  Receiver r(ptXmodemCRC);
  r.end.Protocol().SetHandshakeWait(2);
  EXPECT_EQ(r.Start(), "C");
  EXPECT_EQ(ReadPumping(r.line, 4, 3000), "CCC" + kNak);
  // The sender now uses checksums. With so short a wait the receiver may ask
  // again before the block is in: only what follows those NAKs counts.
  std::string got = r.Say(Block(1, 1, Data('q'), false));
  while (got == kNak) got = ReadPumping(r.line, 1, 3000);
  EXPECT_EQ(got, kAck);
  EXPECT_EQ(r.Say(kEot + kEot, 2), kNak + kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  EXPECT_EQ(r.Stored(), Data('q'));
}

TEST(Receive, FailuresEndWithTheirCodes) {
  struct Case {
    std::string name;
    TProtocolType type;
    std::string send;    // after the handshake and block 1
    std::string answer;  // what the receiver says to it
    std::int32_t code;
  };
  std::string bad_complement = Block(1, 2, Data('b'), true);
  bad_complement[2] = 0;
  std::string damaged = Block(2, 2, RandomBytes(1024, 2), true);
  damaged[700] ^= 1;
  const Case cases[] = {
      {"a block from the future", ptXmodemCRC, Block(1, 4, Data('b'), true), kCancelSequence,
       -6009},
      {"a number whose complement is wrong", ptXmodemCRC, bad_complement, kCancelSequence, -6009},
      // A stream cannot go back for a block.
      {"a damaged block while streaming", ptXmodem1KG, damaged, kCancelSequence, -6008},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Receiver r(c.type);
    const std::string hello = r.Start();
    const bool crc = hello != kNak;
    const bool streaming = hello == "G";
    EXPECT_EQ(r.Say(Block(1, 1, Data('a'), crc), streaming ? 0 : 1), streaming ? "" : kAck);
    EXPECT_EQ(r.Say(c.send, c.answer.size()), c.answer);
    ASSERT_TRUE(r.end.WaitFinished(3000));
    EXPECT_EQ(r.end.finish_code, c.code);
  }
}

TEST(Receive, WithoutAFileNameThereIsNothingToReceive) {
  PtyPair line;
  Endpoint end(line.Path(), kPort);
  UseProtocol(end, ptXmodemCRC);
  end.Protocol().StartReceive();
  EXPECT_EQ(ReadPumping(line, kCancelSequence.size()), kCancelSequence);
  ASSERT_TRUE(end.WaitFinished(3000));
  EXPECT_EQ(end.finish_code, -6010);
}

}  // namespace
}  // namespace qor::testing
