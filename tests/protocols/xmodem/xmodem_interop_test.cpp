// Our Xmodem engine against lrzsz's sx and rx over a relayed pseudo-terminal
// pair, both directions, and against itself; every file is compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"
#include "tests/protocols/xmodem/socket_line.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kOurPort = 201;
constexpr int kOtherPort = 202;
constexpr int kWaitMs = 30000;

struct XmodemCase {
  std::string name;
  TProtocolType ours;
  std::vector<std::string> peer;  // the lrzsz command, without the file
  std::string content;
  std::int64_t drop_at = -1;  // loses bytes of ours from here on
};

void ExpectReceivedFromSx(const XmodemCase& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  const fs::path file = dir.Write("sent.bin", c.content);
  const fs::path stored = dir.Path() / "stored.bin";
  SocketLine line;
  Endpoint receiver(line.OurLine(), kOurPort);
  UseProtocol(receiver, c.ours);
  receiver.Protocol().SetFileName(stored.string());
  receiver.Protocol().StartReceive();
  std::vector<std::string> argv = c.peer;
  argv.push_back(file.string());
  PeerProcess peer(argv, dir.Path().string(), line.PeerFd());
  ASSERT_TRUE(receiver.WaitFinished(kWaitMs));
  EXPECT_EQ(receiver.finish_code, 0);
  EXPECT_TRUE(receiver.WaitOutputSent(3000));
  EXPECT_EQ(peer.Wait(10000), 0) << TempDir::Read(dir.Path() / "peer.log");
  EXPECT_TRUE(PaddedCopy(c.content, TempDir::Read(stored)));
}

void ExpectSentToRx(const XmodemCase& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  const fs::path file = dir.Write("sent.bin", c.content);
  SocketLine line;
  if (c.drop_at >= 0) line.DropFromUs(c.drop_at, 300);
  Endpoint sender(line.OurLine(), kOurPort);
  std::vector<std::string> argv = c.peer;
  argv.push_back("stored.bin");
  PeerProcess peer(argv, dir.Path().string(), line.PeerFd());
  UseProtocol(sender, c.ours);
  sender.Protocol().SetFileName(file.string());
  sender.Protocol().StartTransmit();
  ASSERT_TRUE(sender.WaitFinished(kWaitMs));
  EXPECT_EQ(sender.finish_code, 0);
  EXPECT_EQ(peer.Wait(10000), 0) << TempDir::Read(dir.Path() / "peer.log");
  EXPECT_TRUE(PaddedCopy(c.content, TempDir::Read(dir.Path() / "stored.bin")));
  EXPECT_EQ(sender.Protocol().TotalErrors() > 0, c.drop_at >= 0);
}

TEST(Interop, ReceivesFromSx) {
  const XmodemCase cases[] = {
      {"checksum", ptXmodem, {"sx", "-q"}, RandomBytes(3000, 1)},
      {"CRC", ptXmodemCRC, {"sx", "-q"}, RandomBytes(128 * 7, 2)},
      {"1K blocks", ptXmodem1K, {"sx", "-q", "-k"}, RandomBytes(10000, 3)},
  };
  for (const XmodemCase& c : cases) ExpectReceivedFromSx(c);
}

TEST(Interop, SendsToRx) {
  const XmodemCase cases[] = {
      {"checksum", ptXmodem, {"rx", "-q"}, RandomBytes(3000, 5)},
      {"CRC", ptXmodemCRC, {"rx", "-q", "-c"}, RandomBytes(1000, 6)},
      {"1K blocks", ptXmodem1K, {"rx", "-q", "-c"}, RandomBytes(10000, 7)},
      {"1K blocks to a checksum receiver", ptXmodem1K, {"rx", "-q"}, RandomBytes(5000, 8)},
      {"a block lost on the way",
       ptXmodem1K,
       {"rx", "-q", "-c", "-t", "10"},
       RandomBytes(5000, 9),
       2500},
  };
  for (const XmodemCase& c : cases) ExpectSentToRx(c);
}

TEST(Interop, OursToOurs) {
  const std::string content = RandomBytes(50000, 9);
  for (const TProtocolType type : {ptXmodem, ptXmodemCRC, ptXmodem1K, ptXmodem1KG}) {
    SCOPED_TRACE(type);
    TempDir dir;
    const fs::path file = dir.Write("sent.bin", content);
    PtyRelay relay;
    Endpoint receiver(relay.PeerLine(), kOtherPort);
    Endpoint sender(relay.OurLine(), kOurPort);
    UseProtocol(receiver, type);
    UseProtocol(sender, type);
    receiver.Protocol().SetFileName((dir.Path() / "stored.bin").string());
    sender.Protocol().SetFileName(file.string());
    receiver.Protocol().StartReceive();
    sender.Protocol().StartTransmit();
    ASSERT_TRUE(PumpUntil([&] { return sender.finished && receiver.finished; }, kWaitMs));
    EXPECT_EQ(sender.finish_code, 0);
    EXPECT_EQ(receiver.finish_code, 0);
    EXPECT_TRUE(PaddedCopy(content, TempDir::Read(dir.Path() / "stored.bin")));
  }
}

}  // namespace
}  // namespace qor::testing
