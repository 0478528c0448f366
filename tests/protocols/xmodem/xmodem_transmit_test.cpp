// Our Xmodem transmitter against a receiver the test plays byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "protocols/xymodem/xymodem_data.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"

namespace qor::testing {
namespace {

constexpr int kPort = 222;

std::string Padded(const std::string& part, std::size_t length) {
  return part + std::string(length - part.size(), '\x1a');
}

struct Sender {
  Sender(TProtocolType type, const std::string& content) {
    UseProtocol(end, type);
    end.Protocol().SetFileName(dir.Write("sent.bin", content));
  }
  void Start() { end.Protocol().StartTransmit(); }
  // Sends bytes and reads the answer of n bytes.
  std::string Say(const std::string& bytes, std::size_t n, int ms = 5000) {
    line.Write(bytes);
    return ReadPumping(line, n, ms);
  }

  TempDir dir;
  PtyPair line;
  Endpoint end{line.Path(), kPort};
};

TEST(Transmit, A1KSenderAskedWithNakKeepsItsBlocksAndUsesTheChecksum) {
  const std::string content = RandomBytes(1500, 1);
  Sender s(ptXmodem1K, content);
  s.Start();
  EXPECT_EQ(s.Say(kNak, 1028), Block(2, 1, content.substr(0, 1024), false));
  EXPECT_EQ(Locked(s.end, [](TProtocolData& d) { return d.ProtocolType; }), ptXmodem);
  EXPECT_EQ(s.end.Protocol().ProtocolType(), ptXmodem1K);  // the component's choice stays
  EXPECT_EQ(s.Say(kAck, 1028), Block(2, 2, Padded(content.substr(1024), 1024), false));
  EXPECT_EQ(s.Say(kAck, 1), kEot);
  EXPECT_EQ(s.Say(kAck, 0), "");
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, 0);
}

TEST(Transmit, RefusedLongBlocksFallBackToShortOnes) {
  const std::string content = RandomBytes(2000, 2);
  Sender s(ptXmodem1K, content);
  s.Start();
  const std::string first = Block(2, 1, content.substr(0, 1024), true);
  EXPECT_EQ(s.Say("C", first.size()), first);
  // Each NAK brings the block again until the errors pass the maximum (5).
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.Say(kNak, first.size()), first) << i;
  EXPECT_EQ(s.Say(kNak, 133), Block(1, 1, content.substr(0, 128), true));
  EXPECT_EQ(s.Say(kAck, 133), Block(1, 2, content.substr(128, 128), true));
  EXPECT_EQ(Locked(s.end, [](TProtocolData& d) { return d.TotalErrors; }), 6);
  s.end.Protocol().CancelTransfer();
  EXPECT_EQ(ReadPumping(s.line, kCancelSequence.size()), kCancelSequence);
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6005);
}

TEST(Transmit, RefusedShortBlocksEndTheTransfer) {
  const std::string content = RandomBytes(300, 3);
  Sender s(ptXmodemCRC, content);
  s.Start();
  const std::string first = Block(1, 1, content.substr(0, 128), true);
  EXPECT_EQ(s.Say("C", first.size()), first);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.Say(kNak, first.size()), first) << i;
  EXPECT_EQ(s.Say(kNak, kCancelSequence.size()), kCancelSequence);
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6008);
}

TEST(Transmit, ABlockLostOnTheWayGoesAgain) {
  const std::string content = RandomBytes(256, 4);
  Sender s(ptXmodemCRC, content);
  s.Start();
  const std::string first = Block(1, 1, content.substr(0, 128), true);
  const std::string second = Block(1, 2, content.substr(128), true);
  EXPECT_EQ(s.Say("C", first.size()), first);
  EXPECT_EQ(s.Say(kAck, second.size()), second);
  // The receiver heard only noise and timed out; then its answer is lost too.
  EXPECT_EQ(s.Say(kNak, second.size()), second);
  EXPECT_EQ(ReadPumping(s.line, second.size(), 3000), second);
  EXPECT_EQ(s.Say(kAck, 1), kEot);
  // The EOT is refused once.
  EXPECT_EQ(s.Say(kNak, 1), kEot);
  s.line.Write(kAck);
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_EQ(s.end.Protocol().TotalErrors(), 2);
}

TEST(Transmit, AReceiverThatCancelsEndsIt) {
  Sender s(ptXmodemCRC, RandomBytes(1000, 5));
  s.Start();
  EXPECT_EQ(s.Say("C", 133).size(), 133u);
  s.line.Write(kCan + kCan);
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6005);
}

TEST(Transmit, AStreamGoesOutWithoutWaitingForAcknowledges) {
  const std::string content = RandomBytes(5000, 6);
  Sender s(ptXmodem1KG, content);
  s.Start();
  std::string expected;
  for (std::size_t at = 0, n = 1; at < content.size(); at += 1024, ++n) {
    expected +=
        Block(2, static_cast<std::uint8_t>(n), Padded(content.substr(at, 1024), 1024), true);
  }
  EXPECT_TRUE(s.Say("G", expected.size() + 1) == expected + kEot);
  s.line.Write(kAck);
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, 0);
}

TEST(Transmit, AReceiverThatFallsSilentEndsIt) {
  // Unanswered blocks count as errors: the sender does not resend for ever.
  Sender s(ptXmodemCRC, RandomBytes(100, 7));
  s.end.Protocol().SetXYmodemBlockWait(2);
  s.Start();
  s.line.Write("C");
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, -6008);
  EXPECT_EQ(s.end.Protocol().TotalErrors(), 6);
}

TEST(Transmit, NobodyAnsweringTheHandshakeIsAFatalTimeout) {
  Sender s(ptXmodemCRC, "x");
  s.end.Protocol().SetHandshakeWait(1);
  s.end.Protocol().SetHandshakeRetry(3);
  s.Start();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6006);
}

}  // namespace
}  // namespace qor::testing
