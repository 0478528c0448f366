// The transmitter against receivers played by the test on a pseudo-terminal:
// a strict boot-loader receiver, a silent one, and scripted answers for the
// window, negative-acknowledge and error paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/line_receiver.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit/uploader.hpp"
#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {
namespace {

struct Result {
  std::int32_t finish = 1;
  std::vector<std::int32_t> errors;
  std::vector<WirePacket> packets;  // what the receiver got, in order
};

// Sends content to a receiver answering through answer.
Result Transfer(const std::string& content, const LineReceiver::Answer& answer,
                const std::function<void(Uploader&)>& configure, int timeout_ms = 20000) {
  TempDir dir;
  const std::string file = dir.Write("image.bin", content);
  PtyPair line;
  LineReceiver receiver(line.Peer(), answer);
  Result r;
  {
    Uploader up(line.Path());
    configure(up);
    up.Send({file});
    EXPECT_TRUE(up.WaitFinished(timeout_ms));
    r.finish = up.FinishCode();
    r.errors = up.Errors();
  }
  r.packets = receiver.Packets();
  return r;
}

void Wizard(Uploader& up) { up.WizardSettings(); }

std::string Types(const std::vector<WirePacket>& packets) {
  std::string s;
  for (const WirePacket& p : packets) s += p.type;
  return s;
}

// Acknowledges everything; the Send-Init with params.
LineReceiver::Answer AckAll(const std::string& params = "~% @-#N1 ") {
  return [params](const WirePacket& p) {
    return Packet1('Y', p.seq, p.type == 'S' ? params : "");
  };
}

TEST(KermitTransmit, BootLoaderReceivesTheWizardsUpload) {
  BootLoader boot;
  const std::string content = RandomBytes(6000, 31) + std::string(300, '~') + "###";
  const Result r = Transfer(content, std::ref(boot), Wizard);
  EXPECT_EQ(r.finish, 0);
  EXPECT_TRUE(boot.violations.empty()) << boot.violations.front();
  EXPECT_TRUE(boot.done);
  EXPECT_EQ(boot.name, "IMAGE.BIN");
  EXPECT_TRUE(boot.data == content);
}

TEST(KermitTransmit, BootLoaderRefusingOurCheckTypeAndLongPackets) {
  // Long packets ask for check type 2; the boot loader answers "1" and
  // offers no long packets, so both sides use type 1 and normal packets.
  BootLoader boot;
  const std::string content = RandomBytes(3000, 32);
  const Result r = Transfer(content, std::ref(boot), [](Uploader& up) {
    up.WizardSettings();
    SetKermitMaxLongLen(up.Data(), 1024);
    SetKermitMaxWindows(up.Data(), 8);
  });
  EXPECT_EQ(r.finish, 0);
  EXPECT_TRUE(boot.violations.empty()) << boot.violations.front();
  EXPECT_TRUE(boot.data == content);
}

TEST(KermitTransmit, ReceiverThatNeverAnswers) {
  const Result r = Transfer("data", [](const WirePacket&) { return std::string(); },
                            [](Uploader& up) {
                              up.WizardSettings();
                              up.Data().HandshakeWait = 4;
                            });
  EXPECT_EQ(r.finish, -6007);
  EXPECT_EQ(r.errors, std::vector<std::int32_t>{-6007});
  // Sent at 0 and after each of the first five time-outs: each costs two errors.
  EXPECT_EQ(Types(r.packets), "SSSSSS");
}

TEST(KermitTransmit, EmptyFile) {
  const Result r = Transfer("", AckAll(), Wizard);
  EXPECT_EQ(r.finish, 0);
  ASSERT_EQ(Types(r.packets), "SFZB");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r.packets[static_cast<std::size_t>(i)].seq, i);
}

TEST(KermitTransmit, OneByteFileIsOneShortDataPacket) {
  const Result r = Transfer("\x05", AckAll(), Wizard);
  EXPECT_EQ(r.finish, 0);
  ASSERT_EQ(Types(r.packets), "SFDZB");
  EXPECT_EQ(FieldOf(r.packets[2], 1), "#E");
}

TEST(KermitTransmit, FileHeaderAcknowledgedWithTheWrongSequenceIsSentAgain) {
  int headers = 0;
  const Result r = Transfer("abc",
                            [&headers](const WirePacket& p) {
                              if (p.type == 'F' && headers++ == 0) return Packet1('Y', 9, "");
                              return AckAll()(p);
                            },
                            Wizard);
  EXPECT_EQ(r.finish, 0);
  EXPECT_EQ(Types(r.packets), "SFFDZB");
}

TEST(KermitTransmit, NakOfThePacketAfterTheNewestAcknowledgesIt) {
  const Result r = Transfer("abc",
                            [](const WirePacket& p) {
                              if (p.type == 'D') return Packet1('N', (p.seq + 1) & 63, "");
                              return AckAll()(p);
                            },
                            Wizard);
  EXPECT_EQ(r.finish, 0);
  EXPECT_EQ(Types(r.packets), "SFDZB");
}

TEST(KermitTransmit, WindowOfFourAndANakForTheSecond) {
  // Holds the answers until four data packets are out, then acknowledges all
  // but the second, which it refuses once.
  std::vector<int> held;
  bool refused = false;
  const Result r = Transfer(
      std::string(600, 'w') + RandomBytes(400, 33),
      [&](const WirePacket& p) -> std::string {
        if (p.type == 'S') return Packet1('Y', 0, "~% @-#N1 $$");  // windows, 4 of them
        if (p.type != 'D') return Packet1('Y', p.seq, "");
        if (refused) return Packet1('Y', p.seq, "");
        held.push_back(p.seq);
        if (held.size() < 4) return "";
        refused = true;
        std::string answers;
        for (std::size_t i = 0; i < held.size(); ++i) {
          answers += Packet1(i == 1 ? 'N' : 'Y', held[i], "");
        }
        return answers;
      },
      [](Uploader& up) {
        up.WizardSettings();
        SetKermitMaxWindows(up.Data(), 4);
      });
  EXPECT_EQ(r.finish, 0);
  std::vector<int> data_seqs;
  for (const WirePacket& p : r.packets) {
    if (p.type == 'D') data_seqs.push_back(p.seq);
  }
  ASSERT_GE(data_seqs.size(), 6u);
  EXPECT_EQ(std::vector<int>(data_seqs.begin(), data_seqs.begin() + 4),
            (std::vector<int>{2, 3, 4, 5}));
  // Only the refused one went out twice.
  for (const int seq : data_seqs) {
    EXPECT_EQ(std::count(data_seqs.begin(), data_seqs.end(), seq), seq == 3 ? 2 : 1) << seq;
  }
}

TEST(KermitTransmit, NoiseLongerThanTheInputBufferBeforeAReply) {
  const Result r = Transfer("abc",
                            [](const WirePacket& p) {
                              if (p.type != 'F') return AckAll()(p);
                              return std::string(10000, 'x') + Packet1('Y', p.seq, "");
                            },
                            Wizard);
  EXPECT_EQ(r.finish, 0);
  EXPECT_EQ(Types(r.packets), "SFDZB");
}

TEST(KermitTransmit, APortFailureEndsTheTransferWithItsCode) {
  // A long packet cannot fit an output buffer of 256 bytes: -3006.
  const Result r = Transfer(RandomBytes(3000, 36), AckAll("~% @-#N1 \" *j"), [](Uploader& up) {
    up.WizardSettings();
    SetKermitMaxLongLen(up.Data(), 1024);
    up.Port().SetOpen(false);
    up.Port().SetOutSize(256);
    up.Port().SetOpen(true);
  });
  EXPECT_EQ(r.finish, -3006);
  EXPECT_EQ(r.errors, std::vector<std::int32_t>{-3006});
  EXPECT_EQ(Types(r.packets), "SF");
}

TEST(KermitTransmit, ReceiversErrorPacketFailsTheTransfer) {
  const Result r = Transfer("abc",
                            [](const WirePacket& p) {
                              if (p.type == 'F') return Packet1('E', p.seq, "Disk full");
                              return AckAll()(p);
                            },
                            Wizard);
  EXPECT_EQ(r.finish, -6016);
  EXPECT_EQ(Types(r.packets), "SF");
}

TEST(KermitTransmit, ReceiverCancelsInItsAcknowledge) {
  const Result r = Transfer(RandomBytes(2000, 34),
                            [](const WirePacket& p) {
                              return Packet1('Y', p.seq, p.type == 'D' ? "X" : p.type == 'S' ? "~% @-#N1 " : "");
                            },
                            Wizard);
  EXPECT_EQ(r.finish, -6005);
}

TEST(KermitTransmit, ANakForEveryDataPacketEndsAfterTheRetries) {
  const Result r = Transfer("abc",
                            [](const WirePacket& p) {
                              if (p.type == 'D') return Packet1('N', p.seq, "");
                              return AckAll()(p);
                            },
                            Wizard);
  EXPECT_EQ(r.finish, -6007);
  EXPECT_EQ(r.errors, std::vector<std::int32_t>{-6007});
}

// A cancel while the receiver still owes the reply to a data packet: the
// discard waits for that reply (or for the time-out), so that a receiver
// that empties its input after each packet cannot lose it.
TEST(KermitTransmit, CancelWaitsForTheReplyToTheLastPacket) {
  for (const bool reply : {true, false}) {
    SCOPED_TRACE(reply ? "reply" : "time-out");
    TempDir dir;
    const std::string file = dir.Write("image.bin", RandomBytes(5000, 35));
    PtyPair line;
    LineReceiver receiver(line.Peer(), [](const WirePacket& p) {
      return p.type == 'D' ? std::string() : AckAll()(p);
    });
    Uploader up(line.Path());
    up.WizardSettings();
    // Long enough that a busy machine still sees the data packet once before
    // the time-out sends it again.
    SetKermitTimeoutSecs(up.Data(), 3);
    up.Send({file});
    // A loaded machine (sanitizers, tests side by side) may take seconds to
    // get there; the state itself lasts the whole time-out.
    ASSERT_TRUE(WaitUntil(
        [&] {
          up.Pump(5);
          return Types(receiver.Packets()) == "SFD";
        },
        20000))
        << "packets seen: " << Types(receiver.Packets());
    up.Cancel();
    up.Pump(300);
    EXPECT_EQ(Types(receiver.Packets()), "SFD");
    if (reply) line.Write(Packet1('Y', 2, ""));
    ASSERT_TRUE(up.WaitFinished(10000));
    EXPECT_EQ(up.FinishCode(), -6005);
    EXPECT_TRUE(WaitUntil([&] { return receiver.Packets().size() >= 4; }));
    const auto packets = receiver.Packets();
    ASSERT_EQ(Types(packets), "SFDZ");
    EXPECT_EQ(packets[3].seq, 3);
    EXPECT_EQ(FieldOf(packets[3], 1), "D");
  }
}

}  // namespace
}  // namespace qor::testing
