// Our transmitter against independent Kermit receivers (G-Kermit and C-Kermit)
// over pseudo-terminals, comparing the bytes they store with what we sent.
// The InteropLarge suite sends a few hundred KiB; the Interop suite stays small.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/kermit_peers.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit/uploader.hpp"
#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {
namespace {

enum class Peer { GKermit, CKermit };

struct Outcome {
  std::int32_t finish = 1;
  std::vector<std::int32_t> errors;
  std::vector<std::uint32_t> logs;
  std::vector<std::string> stored;  // the files as the receiver stored them
  std::string wire;                 // what we sent
  int peer_exit = -1;
};

struct Upload {
  Peer peer = Peer::GKermit;
  ReceiverOptions receiver;
  std::function<void(Uploader&)> configure = [](Uploader& u) { u.WizardSettings(); };
  std::vector<std::string> contents;  // one file each
  std::int64_t line_rate = 0;         // bytes per second; 0: unpaced
  int timeout_ms = 60000;
  // Runs while the transfer is under way; may cancel it or cut the line.
  std::function<void(Uploader&, PtyRelay&, PeerProcess&, const std::filesystem::path& dst)> meanwhile;
};

Outcome RunUpload(const Upload& u) {
  TempDir dir;
  const auto src = dir.Path() / "src";
  const auto dst = dir.Path() / "dst";
  std::filesystem::create_directories(src);
  std::filesystem::create_directories(dst);
  std::vector<std::string> files;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < u.contents.size(); ++i) {
    const std::string name = "image" + std::to_string(i) + ".bin";
    files.push_back((src / name).string());
    std::ofstream(files.back(), std::ios::binary) << u.contents[i];
    names.push_back(u.receiver.as_name.empty() ? "IMAGE" + std::to_string(i) + ".BIN"
                                               : u.receiver.as_name);
  }
  Outcome out;
  PtyRelay relay(u.line_rate);
  const auto argv = u.peer == Peer::GKermit
                        ? GkermitReceive(u.receiver)
                        : CkermitReceive(u.receiver, dst.string(), relay.PeerLine());
  PeerProcess peer(argv, dst.string(), u.peer == Peer::GKermit ? relay.PeerLine() : "");
  EXPECT_TRUE(WaitUntil([&] { return relay.PeerOpened(); }, 10000));
  // Let the peer finish setting up its line before the first packet.
  std::this_thread::sleep_for(std::chrono::milliseconds(u.peer == Peer::GKermit ? 100 : 300));
  {
    Uploader up(relay.OurLine());
    u.configure(up);
    up.Send(files);
    if (u.meanwhile) u.meanwhile(up, relay, peer, dst);
    EXPECT_TRUE(up.WaitFinished(u.timeout_ms));
    // Our last packet reaches the relay before the port closes.
    EXPECT_TRUE(WaitUntil([&] { return up.OutputSent() && relay.OurPending() == 0; }, 5000));
    out.finish = up.FinishCode();
    out.errors = up.Errors();
    out.logs = up.Logs();
    EXPECT_EQ(up.FirstReports(), 1);
    EXPECT_EQ(up.LastReports(), 1);
  }
  out.peer_exit = peer.Wait(out.finish == 0 ? 10000 : 0);
  peer.Kill();
  out.wire = relay.OurWire();
  for (const std::string& name : names) {
    out.stored.push_back(std::filesystem::exists(dst / name) ? TempDir::Read(dst / name)
                                                             : "<missing>");
  }
  return out;
}

void ExpectDelivered(const Upload& u) {
  const Outcome out = RunUpload(u);
  EXPECT_EQ(out.finish, 0);
  EXPECT_TRUE(out.errors.empty());
  EXPECT_EQ(out.peer_exit, 0);
  ASSERT_EQ(out.stored.size(), u.contents.size());
  for (std::size_t i = 0; i < u.contents.size(); ++i) {
    EXPECT_TRUE(out.stored[i] == u.contents[i])
        << "file " << i << ": " << out.stored[i].size() << " bytes stored of "
        << u.contents[i].size();
  }
}

// The sizes of the issue, each a separate upload.
const std::vector<std::size_t> kSizes = {0, 1, 94, 1023, 1024, 1025, 8192};

TEST(Interop, WizardSettingsToGkermit) {
  for (const std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    Upload u;
    u.receiver.as_name = "image.bin";
    u.contents = {RandomBytes(size, static_cast<std::uint32_t>(size))};
    ExpectDelivered(u);
  }
}

TEST(Interop, WizardSettingsToCkermit) {
  for (const std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    Upload u;
    u.peer = Peer::CKermit;
    u.contents = {RandomBytes(size, static_cast<std::uint32_t>(size) + 1)};
    ExpectDelivered(u);
  }
}

TEST(Interop, WizardSendInitIsTheFirstPacketOnTheLine) {
  Upload u;
  u.contents = {"x"};
  const Outcome out = RunUpload(u);
  EXPECT_EQ(out.finish, 0);
  EXPECT_EQ(out.wire.substr(0, 19), "\x01" "0 Sp% @-#Y1~    Q\r");
}

void ConfigureRich(Uploader& u, std::uint32_t long_len, std::uint32_t windows,
                   TBlockCheckMethod check) {
  u.WizardSettings();
  u.Data().BlockCheckMethod = check;
  SetKermitMaxLongLen(u.Data(), long_len);
  SetKermitMaxWindows(u.Data(), windows);
}

TEST(Interop, LongPacketsAndWindowsToCkermit) {
  struct Case {
    std::uint32_t windows;
    TBlockCheckMethod check;
  };
  for (const Case c : {Case{8, bcmCrcK}, Case{27, bcmChecksum2}}) {
    SCOPED_TRACE(c.windows);
    Upload u;
    u.peer = Peer::CKermit;
    u.receiver.packet_length = 1024;
    u.receiver.windows = static_cast<int>(c.windows);
    u.configure = [c](Uploader& up) { ConfigureRich(up, 1024, c.windows, c.check); };
    u.contents = {RandomBytes(40000, 11)};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    // Long packets went out, more than one before each acknowledgement.
    const auto packets = ParseWire(out.wire);
    const auto longest = std::max_element(packets.begin(), packets.end(), [](auto& a, auto& b) {
      return a.length < b.length;
    });
    ASSERT_NE(longest, packets.end());
    EXPECT_GT(longest->length, 900);
  }
}

TEST(Interop, LongPacketsToGkermit) {
  Upload u;
  u.receiver.packet_length = 1024;
  u.receiver.as_name = "image.bin";
  u.configure = [](Uploader& up) { ConfigureRich(up, 1024, 0, bcmCrcK); };
  u.contents = {RandomBytes(20000, 12)};
  ExpectDelivered(u);
}

// The check type we ask for is used when the receiver names the same one; G-Kermit
// has no type 2 and answers 1, and then both sides use type 1.
TEST(Interop, CheckTypesTwoAndThree) {
  struct Case {
    Peer peer;
    TBlockCheckMethod asked;
    int used;
  };
  for (const Case c : {Case{Peer::GKermit, bcmCrcK, 3}, Case{Peer::GKermit, bcmChecksum2, 1},
                       Case{Peer::CKermit, bcmChecksum2, 2}, Case{Peer::CKermit, bcmCrcK, 3}}) {
    SCOPED_TRACE(::testing::Message() << (c.peer == Peer::GKermit ? "gkermit " : "kermit ")
                                      << c.asked);
    Upload u;
    u.peer = c.peer;
    u.configure = [c](Uploader& up) {
      up.WizardSettings();
      up.Data().BlockCheckMethod = c.asked;
    };
    u.contents = {RandomBytes(5000, 13)};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    const auto packets = ParseWire(out.wire);
    ASSERT_GT(packets.size(), 3u);
    EXPECT_EQ(FieldOf(packets[0], 1)[7], c.asked == bcmCrcK ? '3' : '2');
    for (std::size_t i = 1; i < packets.size(); ++i) EXPECT_EQ(CheckTypeOf(packets[i]), c.used);
  }
}

TEST(Interop, EightBitPrefixingForASevenBitPeer) {
  for (const Peer peer : {Peer::GKermit, Peer::CKermit}) {
    SCOPED_TRACE(peer == Peer::GKermit ? "gkermit" : "kermit");
    Upload u;
    u.peer = peer;
    u.receiver.seven_bit = true;
    u.contents = {RandomBytes(8192, 14)};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    for (const WirePacket& p : ParseWire(out.wire)) {
      for (const char c : p.frame) ASSERT_EQ(c & 0x80, 0) << "an 8-bit byte went out raw";
    }
  }
}

TEST(Interop, OneRepeatedByteIsCompressed) {
  for (const Peer peer : {Peer::GKermit, Peer::CKermit}) {
    SCOPED_TRACE(peer == Peer::GKermit ? "gkermit" : "kermit");
    Upload u;
    u.peer = peer;
    u.contents = {std::string(30000, '\xA5')};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    EXPECT_LT(out.wire.size(), 30000u / 10);
  }
}

// With long packets of at most 95, 96 and 97 (the receiver's choice) and
// check type 3, full data packets have L = 94, 95 and 96.
TEST(Interop, NormalAndExtendedHeaderBoundary) {
  for (const int max : {95, 96, 97}) {
    SCOPED_TRACE(max);
    Upload u;
    u.receiver.packet_length = max;
    u.receiver.as_name = "image.bin";
    u.configure = [](Uploader& up) { ConfigureRich(up, 1024, 0, bcmCrcK); };
    std::string text;
    while (text.size() < 3000) text += "abcdefghijklmnopqrstuvwxyz";
    u.contents = {text};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    const auto packets = ParseWire(out.wire);
    const auto first_data = std::find_if(packets.begin(), packets.end(),
                                         [](const WirePacket& p) { return p.type == 'D'; });
    ASSERT_NE(first_data, packets.end());
    EXPECT_EQ(first_data->length, max - 1);
    EXPECT_EQ(first_data->extended, max - 1 > 94);
    EXPECT_EQ(CheckTypeOf(*first_data), 3);
  }
}

TEST(Interop, PeerAsksForSmallerPackets) {
  Upload u;
  u.receiver.packet_length = 40;
  u.receiver.as_name = "image.bin";
  u.contents = {RandomBytes(4000, 15)};
  const Outcome out = RunUpload(u);
  EXPECT_EQ(out.finish, 0);
  EXPECT_TRUE(out.stored[0] == u.contents[0]);
  for (const WirePacket& p : ParseWire(out.wire)) EXPECT_LE(p.length, 40);
}

TEST(Interop, BatchOfTwoFiles) {
  for (const Peer peer : {Peer::GKermit, Peer::CKermit}) {
    SCOPED_TRACE(peer == Peer::GKermit ? "gkermit" : "kermit");
    Upload u;
    u.peer = peer;
    u.contents = {RandomBytes(3000, 16), RandomBytes(2500, 17)};
    const Outcome out = RunUpload(u);
    EXPECT_EQ(out.finish, 0);
    ASSERT_EQ(out.stored.size(), 2u);
    EXPECT_TRUE(out.stored[0] == u.contents[0]);
    EXPECT_TRUE(out.stored[1] == u.contents[1]);
    EXPECT_EQ(out.logs, (std::vector<std::uint32_t>{4, 5, 4, 5}));
    // S F D.. Z F D.. Z B, each packet one after the other modulo 64.
    std::string types;
    int seq = -1;
    for (const WirePacket& p : ParseWire(out.wire)) {
      if (!types.empty() && types.back() == p.type && p.type != 'D') continue;  // a resend
      if (seq >= 0 && p.seq != ((seq + 1) & 63)) ADD_FAILURE() << "sequence " << p.seq;
      seq = p.seq;
      if (types.empty() || types.back() != p.type) types += p.type;
    }
    EXPECT_EQ(types, "SFDZFDZB");
  }
}

TEST(Interop, CancelDuringUpload) {
  Upload u;
  u.receiver.as_name = "image.bin";
  u.contents = {RandomBytes(200000, 18)};
  u.line_rate = 11520;  // 115200 baud
  u.meanwhile = [](Uploader& up, PtyRelay& relay, PeerProcess&, const std::filesystem::path& dst) {
    ASSERT_TRUE(WaitUntil(
        [&] {
          up.Pump(5);
          return relay.SentByUs() > 8000;
        },
        20000));
    ASSERT_TRUE(std::filesystem::exists(dst / "image.bin"));
    up.Cancel();
    // G-Kermit throws the partial file away when it sees the discard.
    EXPECT_TRUE(WaitUntil(
        [&] {
          up.Pump(5);
          return !std::filesystem::exists(dst / "image.bin");
        },
        5000));
  };
  const Outcome out = RunUpload(u);
  EXPECT_EQ(out.finish, -6005);
  // The last packet tells the receiver to discard the file: "Z" with "D".
  const auto packets = ParseWire(out.wire);
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(packets.back().type, 'Z');
  EXPECT_EQ(FieldOf(packets.back(), 1), "D");
  EXPECT_EQ(out.logs.back(), 6u);
}

TEST(Interop, PeerGoneMidTransfer) {
  Upload u;
  u.receiver.as_name = "image.bin";
  u.contents = {RandomBytes(200000, 19)};
  u.line_rate = 11520;
  u.configure = [](Uploader& up) {
    up.WizardSettings();
    SetKermitTimeoutSecs(up.Data(), 1);
    up.Data().HandshakeRetry = 3;
  };
  u.meanwhile = [](Uploader& up, PtyRelay& relay, PeerProcess& peer, const std::filesystem::path&) {
    ASSERT_TRUE(WaitUntil(
        [&] {
          up.Pump(5);
          return relay.SentByUs() > 8000;
        },
        20000));
    peer.Kill();
    relay.Cut();
  };
  u.timeout_ms = 30000;
  const Outcome out = RunUpload(u);
  EXPECT_EQ(out.finish, -6007);
  EXPECT_EQ(out.errors, std::vector<std::int32_t>{-6007});
}

TEST(InteropLarge, RandomBytesToGkermit) {
  Upload u;
  u.receiver.as_name = "image.bin";
  u.contents = {RandomBytes(300 * 1024, 20)};
  ExpectDelivered(u);
}

TEST(InteropLarge, RandomBytesWithWindowsToCkermit) {
  Upload u;
  u.peer = Peer::CKermit;
  u.receiver.packet_length = 1024;
  u.receiver.windows = 8;
  u.configure = [](Uploader& up) { ConfigureRich(up, 1024, 8, bcmCrcK); };
  u.contents = {RandomBytes(400 * 1024, 21)};
  ExpectDelivered(u);
}

}  // namespace
}  // namespace qor::testing
