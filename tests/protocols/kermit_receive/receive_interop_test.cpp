// Our receiver taking files from independent senders (G-Kermit, C-Kermit) and
// from our own transmitter, over pseudo-terminals joined by a relay; every
// file is compared byte for byte. ReceiveInteropLarge sends a few hundred KiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "protocols/kermit/kermit_data.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit_receive/endpoint.hpp"
#include "tests/protocols/kermit_receive/packet_relay.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kReceiverPort = 242;
constexpr int kSenderPort = 243;

enum class Peer { GKermit, CKermit };

struct PeerSend {
  std::string name;
  Peer peer = Peer::GKermit;
  int packet_length = 80;  // what both sides ask for
  int windows = 1;         // C-Kermit only
  int check = 1;           // C-Kermit's; G-Kermit picks its own
  bool seven_bit = false;  // C-Kermit: space parity, so 8-bit prefixing
  std::vector<std::string> contents;
  int timeout_ms = 30000;
};

std::vector<std::string> GkermitSend(const PeerSend& s, const std::vector<std::string>& files) {
  std::vector<std::string> argv = {"gkermit", "-q", "-i", "-P", "-S", "-b", "5",
                                   "-e", std::to_string(s.packet_length), "-s"};
  argv.insert(argv.end(), files.begin(), files.end());
  return argv;
}

std::vector<std::string> CkermitSend(const PeerSend& s, const std::vector<std::string>& files,
                                     const fs::path& dir, const std::string& line) {
  const fs::path script = dir / "send.ksc";
  std::ofstream out(script);
  out << "set line " << line << "\n"
      << "set carrier-watch off\n"
      << "set modem type none\n"
      << "set flow none\n"
      << "set parity " << (s.seven_bit ? "space" : "none") << "\n"
      << "set file type binary\n"
      << "set file names literal\n"
      << "set protocol kermit {} {} {}\n"
      << "set exit hangup off\n"
      << "set receive packet-length " << s.packet_length << "\n"
      << "set send packet-length " << s.packet_length << "\n"
      << "set window " << s.windows << "\n"
      << "set block-check " << s.check << "\n"
      << "msend";
  for (const std::string& f : files) out << ' ' << f;
  out << "\nif fail exit 1\nexit 0\n";
  return {"kermit", "+", script.string()};
}

void ExpectReceived(const PeerSend& s) {
  SCOPED_TRACE(s.name);
  TempDir dir;
  const fs::path src = dir.Path() / "src";
  const fs::path dst = dir.Path() / "dst";
  fs::create_directories(src);
  fs::create_directories(dst);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < s.contents.size(); ++i) {
    names.push_back("file" + std::to_string(i) + ".bin");
    std::ofstream(src / names.back(), std::ios::binary) << s.contents[i];
  }
  PacketRelay relay;
  Endpoint receiver(relay.LineA(), kReceiverPort);
  TQorProtocol& p = receiver.Protocol();
  p.SetDestinationDirectory(dst.string());
  p.SetKermitMaxLen(static_cast<std::uint32_t>(s.packet_length));
  p.SetKermitMaxWindows(static_cast<std::uint32_t>(s.windows));
  p.StartReceive();
  const bool gkermit = s.peer == Peer::GKermit;
  PeerProcess peer(gkermit ? GkermitSend(s, names) : CkermitSend(s, names, src, relay.LineB()),
                   src.string(), gkermit ? relay.LineB() : "");
  ASSERT_TRUE(receiver.WaitFinished(s.timeout_ms));
  EXPECT_EQ(receiver.finish_code, 0);
  EXPECT_TRUE(receiver.errors.empty());
  // The peer leaves once our last acknowledge has reached it.
  EXPECT_TRUE(receiver.WaitOutputSent(3000));
  EXPECT_EQ(peer.Wait(10000), 0);
  // What was agreed, and that the peer made use of it.
  const TKermitData& kd = Kermit(p.Data());
  EXPECT_EQ(kd.TableSize, s.windows);
  EXPECT_EQ(kd.LongPacketsInUse, s.packet_length > 94);
  EXPECT_TRUE(kd.RepeatCompression);
  EXPECT_EQ(kd.HibitQuoting, s.seven_bit);
  if (!gkermit) {
    EXPECT_EQ(kd.LocalParams.CheckType, '0' + s.check);
  }
  int longest = 0;
  for (const WirePacket& packet : ParseWire(relay.SentFromB())) {
    longest = std::max(longest, packet.length);
  }
  EXPECT_GT(longest, std::min(s.packet_length, 94) * 3 / 4);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const fs::path file = dst / names[i];
    const std::string got = fs::exists(file) ? TempDir::Read(file) : "<missing>";
    EXPECT_TRUE(got == s.contents[i]) << names[i] << ": " << got.size() << " bytes of "
                                      << s.contents[i].size();
  }
}

// Runs of equal bytes that cross the 1024-byte blocks, and random bytes with runs.
std::string Runs() {
  return std::string(2500, '\0') + std::string(1500, 'A') + std::string(900, '\xff');
}

TEST(ReceiveInterop, FromGkermit) {
  const PeerSend sends[] = {
      {"a batch, 80-byte packets", Peer::GKermit, 80, 1, 1, false,
       {"", RandomBytes(1, 1), RandomBytes(1025, 2), Runs()}},
      {"long packets", Peer::GKermit, 1000, 1, 1, false, {RandomBytes(20000, 3)}},
  };
  for (const PeerSend& s : sends) ExpectReceived(s);
}

TEST(ReceiveInterop, FromCkermit) {
  const PeerSend sends[] = {
      {"the wizard's settings", Peer::CKermit, 80, 1, 1, false,
       {RandomBytes(94, 4), RandomBytes(8192, 5)}},
      {"long packets, 4 windows, check 3", Peer::CKermit, 1000, 4, 3, false,
       {RandomBytes(40000, 6), Runs()}},
      {"check 2, 8-bit prefixing", Peer::CKermit, 90, 1, 2, true, {RandomBytes(3000, 7)}},
      {"27 windows", Peer::CKermit, 500, 27, 3, false, {RandomBytes(30000, 8)}},
  };
  for (const PeerSend& s : sends) ExpectReceived(s);
}

TEST(ReceiveInteropLarge, FromBothPeers) {
  const PeerSend sends[] = {
      {"G-Kermit, 256 KiB", Peer::GKermit, 1024, 1, 1, false, {RandomBytes(256 * 1024, 9)}, 120000},
      {"C-Kermit, 256 KiB, 8 windows", Peer::CKermit, 1024, 8, 3, false,
       {RandomBytes(256 * 1024, 10)}, 120000},
  };
  for (const PeerSend& s : sends) ExpectReceived(s);
}

// Drops the nth packet of a type that passes, once.
PacketRelay::Filter DropNth(char type, int nth) {
  return [type, nth, seen = 0](const WirePacket& p) mutable {
    return p.type != type || ++seen != nth;
  };
}

struct OwnSend {
  std::string name;
  std::uint32_t packet_length = 80;
  std::uint32_t windows = 0;
  TBlockCheckMethod check = bcmChecksum;
  PacketRelay::Filter to_receiver;  // empty: everything passes
  PacketRelay::Filter to_sender;
  std::vector<std::string> contents;
  int naks = 0;  // negative acknowledges the receiver must send
};

void ExpectOwnDelivered(const OwnSend& s) {
  SCOPED_TRACE(s.name);
  TempDir dir;
  const fs::path dst = dir.Path() / "dst";
  fs::create_directories(dst);
  std::vector<std::string> files;
  for (std::size_t i = 0; i < s.contents.size(); ++i) {
    files.push_back(dir.Write("file" + std::to_string(i) + ".bin", s.contents[i]));
  }
  PacketRelay relay(s.to_receiver, s.to_sender);
  Endpoint sender(relay.LineA(), kSenderPort);
  Endpoint receiver(relay.LineB(), kReceiverPort);
  for (Endpoint* end : {&sender, &receiver}) {
    TQorProtocol& p = end->Protocol();
    p.SetKermitMaxLen(s.packet_length);
    p.SetKermitMaxWindows(s.windows);
    p.SetBlockCheckMethod(s.check);
    p.SetKermitTimeoutSecs(1);  // a lost acknowledge costs a second
  }
  std::size_t next = 0;
  sender.Protocol().SetUpcaseFileNames(false);
  sender.Protocol().OnProtocolNextFile = [&](TQorCustomProtocol&, std::string& name) {
    name = next < files.size() ? files[next++] : "";
  };
  receiver.Protocol().SetDestinationDirectory(dst.string());
  receiver.Protocol().StartReceive();
  sender.Protocol().StartTransmit();
  ASSERT_TRUE(PumpUntil([&] { return sender.finished && receiver.finished; }, 30000));
  EXPECT_EQ(sender.finish_code, 0);
  EXPECT_EQ(receiver.finish_code, 0);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const fs::path stored = dst / fs::path(files[i]).filename();
    EXPECT_TRUE(fs::exists(stored) && TempDir::Read(stored) == s.contents[i]) << stored;
  }
  int naks = 0;
  for (const WirePacket& p : ParseWire(relay.SentFromB())) naks += p.type == 'N' ? 1 : 0;
  EXPECT_EQ(naks, s.naks);
}

TEST(ReceiveFromOurTransmitter, WindowsLongPacketsAndLosses) {
  const std::string data = RandomBytes(30000, 12);
  const OwnSend sends[] = {
      {"a batch, long packets, 4 windows", 1000, 4, bcmCrcK, {}, {}, {data, Runs(), ""}, 0},
      {"4 windows, a data packet lost", 80, 4, bcmChecksum, DropNth('D', 3), {}, {data}, 1},
      {"4 windows, an acknowledge lost", 80, 4, bcmChecksum2, {}, DropNth('Y', 5), {data}, 0},
      {"stop and wait, an acknowledge lost", 80, 0, bcmChecksum, {}, DropNth('Y', 5),
       {RandomBytes(3000, 13)}, 0},
  };
  for (const OwnSend& s : sends) ExpectOwnDelivered(s);
}

}  // namespace
}  // namespace qor::testing
