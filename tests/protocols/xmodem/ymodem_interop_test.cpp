// Our Ymodem engine against lrzsz's sb and rb, both directions, and against
// itself with and without streaming: batches with an empty file and sizes
// around the block lengths, compared byte for byte, with sizes and dates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"
#include "tests/protocols/xmodem/socket_line.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kOurPort = 211;
constexpr int kOtherPort = 212;
constexpr int kWaitMs = 30000;

// An empty file, sizes just below and above 128 and 1024 multiples, and more.
// (rb takes about two seconds a file whatever its size.)
std::vector<std::string> Batch() {
  std::vector<std::string> contents;
  std::uint32_t seed = 30;
  for (std::size_t size : {0, 127, 129, 1023, 1025, 2049, 20000}) {
    contents.push_back(RandomBytes(size, seed++));
  }
  return contents;
}

std::vector<std::string> ShortBatch() { return {RandomBytes(1, 40), RandomBytes(30000, 41)}; }

// Gives the sent files distinct dates on an even second, as Ymodem carries them.
void DateFiles(const std::vector<std::string>& files) {
  std::int64_t when = 1'600'000'000;
  for (const std::string& f : files) {
    const utimbuf times{static_cast<time_t>(when), static_cast<time_t>(when)};
    ::utime(f.c_str(), &times);
    when += 86'400 * 3 + 2;
  }
}

void ExpectSameFiles(const std::vector<std::string>& sent, const fs::path& dst, bool dates) {
  for (const std::string& f : sent) {
    const fs::path got = dst / fs::path(f).filename();
    ASSERT_TRUE(fs::exists(got)) << got;
    EXPECT_TRUE(TempDir::Read(got) == TempDir::Read(f))
        << got << ": " << fs::file_size(got) << " bytes of " << fs::file_size(f);
    if (dates) {
      EXPECT_EQ(MTime(got), MTime(f)) << got;
    }
  }
}

struct Sides {
  TempDir dir;
  fs::path src = dir.Path() / "src";
  fs::path dst = dir.Path() / "dst";
  std::vector<std::string> files;

  explicit Sides(const std::vector<std::string>& contents) {
    fs::create_directories(src);
    fs::create_directories(dst);
    files = WriteFiles(src, contents);
    DateFiles(files);
  }
};

void OfferFiles(Endpoint& sender, const std::vector<std::string>& files) {
  sender.Protocol().OnProtocolNextFile = [&files, next = std::size_t{0}](
                                             TQorCustomProtocol&, std::string& name) mutable {
    name = next < files.size() ? files[next++] : "";
  };
}

void ExpectReceivedFromSb(TProtocolType ours, const std::vector<std::string>& contents) {
  SCOPED_TRACE(ours);
  Sides s(contents);
  SocketLine line;
  Endpoint receiver(line.OurLine(), kOurPort);
  UseProtocol(receiver, ours);
  receiver.Protocol().SetDestinationDirectory(s.dst.string());
  receiver.Protocol().StartReceive();
  std::vector<std::string> argv = {"sb", "-q", "-k"};
  for (const std::string& f : s.files) argv.push_back(fs::path(f).filename().string());
  PeerProcess peer(argv, s.src.string(), line.PeerFd());
  ASSERT_TRUE(receiver.WaitFinished(kWaitMs));
  EXPECT_EQ(receiver.finish_code, 0);
  EXPECT_TRUE(receiver.errors.empty());
  EXPECT_TRUE(receiver.WaitOutputSent(3000));
  EXPECT_EQ(peer.Wait(10000), 0) << TempDir::Read(s.src / "peer.log");
  ExpectSameFiles(s.files, s.dst, true);
}

TEST(Interop, ReceivesABatchFromSb) { ExpectReceivedFromSb(ptYmodem, Batch()); }
TEST(Interop, ReceivesAStreamedBatchFromSb) { ExpectReceivedFromSb(ptYmodemG, ShortBatch()); }

TEST(Interop, SendsABatchToRb) {
  // rb asks with "C": a streaming sender acknowledges blocks like the plain one.
  for (const TProtocolType ours : {ptYmodem, ptYmodemG}) {
    SCOPED_TRACE(ours);
    Sides s(ours == ptYmodem ? Batch() : ShortBatch());
    SocketLine line;
    Endpoint sender(line.OurLine(), kOurPort);
    UseProtocol(sender, ours);
    OfferFiles(sender, s.files);
    PeerProcess peer({"rb", "-q"}, s.dst.string(), line.PeerFd());
    sender.Protocol().StartTransmit();
    ASSERT_TRUE(sender.WaitFinished(kWaitMs));
    EXPECT_EQ(sender.finish_code, 0);
    EXPECT_TRUE(sender.WaitOutputSent(3000));
    EXPECT_EQ(peer.Wait(10000), 0) << TempDir::Read(s.dst / "peer.log");
    fs::remove(s.dst / "peer.log");
    ExpectSameFiles(s.files, s.dst, true);
  }
}

TEST(Interop, OursToOurs) {
  for (const TProtocolType type : {ptYmodem, ptYmodemG}) {
    SCOPED_TRACE(type);
    Sides s(type == ptYmodem ? Batch() : ShortBatch());
    PtyRelay relay;
    Endpoint sender(relay.OurLine(), kOurPort);
    Endpoint receiver(relay.PeerLine(), kOtherPort);
    UseProtocol(sender, type);
    UseProtocol(receiver, type);
    OfferFiles(sender, s.files);
    receiver.Protocol().SetDestinationDirectory(s.dst.string());
    receiver.Protocol().StartReceive();
    sender.Protocol().StartTransmit();
    ASSERT_TRUE(PumpUntil([&] { return sender.finished && receiver.finished; }, kWaitMs));
    EXPECT_EQ(sender.finish_code, 0);
    EXPECT_EQ(receiver.finish_code, 0);
    ExpectSameFiles(s.files, s.dst, true);
  }
}

}  // namespace
}  // namespace qor::testing
