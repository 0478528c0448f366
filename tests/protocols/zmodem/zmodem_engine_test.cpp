// Our engine against a scripted peer on a pseudo-terminal (the test reads and
// writes frames itself), and against itself over a relay.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem.hpp"
#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/zmodem/zmodem_endpoint.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 245;
constexpr int kOtherPort = 246;

// The far end of a line, decoding what our engine sends.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(PtyPair& line) : line_(line) { reader_.StartHeader(); }

  // The next header, pumping our side meanwhile; false after ms without one.
  bool NextHeader(int ms = 5000) {
    return Read(ms, [this](std::uint8_t c) { return reader_.FeedHeader(c) == TZRead::Header; });
  }
  // Skips to the next header of type (and position, when given).
  bool HeaderOf(std::uint8_t type, std::int32_t position = -1) {
    while (NextHeader()) {
      if (reader_.Type == type && (position < 0 || BytesPosition(reader_.Bytes) == position)) return true;
    }
    return false;
  }
  // The bytes up to and including the next header, each with the time it
  // was read (never before it came).
  bool NextHeaderHeard(std::string& bytes, std::vector<Clock::time_point>& at) {
    return Read(5000, [&](std::uint8_t c) {
      bytes += static_cast<char>(c);
      at.push_back(Clock::now());
      return reader_.FeedHeader(c) == TZRead::Header;
    });
  }
  // Passes over n bytes (the line end of a hex header).
  bool Skip(int n) {
    return Read(5000, [&n](std::uint8_t) { return --n == 0; });
  }
  // The next data subpacket after a header; its length, or -1.
  std::int32_t Subpacket() {
    data_.assign(8192, 0);
    reader_.StartData(data_.data(), 8192);
    TZRead got = TZRead::More;
    if (!Read(5000, [&](std::uint8_t c) { return (got = reader_.FeedData(c)) != TZRead::More; }) ||
        got != TZRead::Data) {
      return -1;
    }
    return reader_.DataLen;
  }
  // One byte at position at and the end of the file; true when the receiver
  // then asks for the next file.
  bool SendLastByte(std::int32_t at) {
    const std::string one = "x";
    SendBinary(ZDATA, PositionBytes(at), &one, ZCRCE);
    SendBinary(ZEOF, PositionBytes(at + 1));
    return HeaderOf(ZRINIT);
  }
  void SendHex(std::uint8_t type, const TZHeaderBytes& bytes = {}) {
    std::vector<std::uint8_t> out;
    BuildHexHeader(type, bytes, out);
    line_.Write(std::string(out.begin(), out.end()));
  }
  // A binary header with CRC-32, and its subpacket when data is given.
  // damaged: the first data byte is changed after the CRC was taken.
  void SendBinary(std::uint8_t type, const TZHeaderBytes& bytes, const std::string* data = nullptr,
                  std::uint8_t end = ZCRCW, bool damaged = false) {
    std::vector<std::uint8_t> out;
    TZEscaper e;
    BuildBinaryHeader(type, bytes, true, e, out);
    if (data != nullptr) {
      const std::size_t at = out.size();
      out.resize(at + static_cast<std::size_t>(SubpacketRoom(static_cast<std::int32_t>(data->size()))));
      const std::uint8_t* stop =
          BuildSubpacket(reinterpret_cast<const std::uint8_t*>(data->data()),
                         static_cast<std::int32_t>(data->size()), end, true, e, out.data() + at);
      out.resize(static_cast<std::size_t>(stop - out.data()));
      if (damaged) out[at] ^= 1;
    }
    line_.Write(std::string(out.begin(), out.end()));
  }

  TZmodemReader reader_;
  std::vector<std::uint8_t> data_;

 private:
  template <class Take>
  bool Read(int ms, Take take) {
    return PumpUntil(
        [&] {
          for (;;) {
            if (pending_.empty()) pending_ = line_.Read(4096, 1);
            if (pending_.empty()) return false;
            const auto c = static_cast<std::uint8_t>(pending_.front());
            pending_.erase(0, 1);
            if (take(c)) return true;
          }
        },
        ms);
  }

  PtyPair& line_;
  std::string pending_;
};

struct ScriptedSession {
  ScriptedSession() : end(line.Path(), kPort), peer(line) {
    MakeZmodem(end);
    end.Protocol().SetFileMask((dir.Path() / "out.bin").string());
  }
  // A directory for received files, made the destination.
  fs::path Inbox() {
    const fs::path in = dir.Path() / "in";
    fs::create_directories(in);
    end.Protocol().SetDestinationDirectory(in.string());
    return in;
  }
  TempDir dir;
  PtyPair line;
  Endpoint end;
  ScriptedPeer peer;
};

// Subpackets until one that wants an acknowledgement: "length marker" each.
std::string Frame(ScriptedPeer& peer) {
  std::string text;
  for (int i = 0; i < 8; ++i) {
    const std::int32_t n = peer.Subpacket();
    text += (text.empty() ? "" : " ") + std::to_string(n) + static_cast<char>(peer.reader_.Marker);
    if (n < 0 || peer.reader_.Marker == ZCRCW || peer.reader_.Marker == ZCRCE) break;
  }
  return text;
}

// A receiver without CRC-32 gets CRC-16 frames; a receiver with a 1024-byte
// buffer gets ZCRCW whenever that buffer would overflow; each ZRPOS halves
// the block down to 256, and five good blocks bring it back to 1024.
TEST(ZmodemEngine, ReceiverBufferAndBlockLengthAfterResynchronising) {
  ScriptedSession s;
  std::ofstream(s.dir.Path() / "out.bin", std::ios::binary) << NastyBytes(400000, 20);
  s.end.Protocol().StartTransmit();
  ASSERT_TRUE(s.peer.HeaderOf(ZRQINIT));
  s.peer.SendHex(ZRINIT, {0x00, 0x04, 0, 0x07});  // 1024 bytes of buffer, no CRC-32
  ASSERT_TRUE(s.peer.HeaderOf(ZFILE));
  EXPECT_EQ(s.peer.reader_.Format, 'A');
  ASSERT_GT(s.peer.Subpacket(), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.peer.data_.data())), "out.bin");
  s.peer.SendHex(ZRPOS, PositionBytes(0));
  ASSERT_TRUE(s.peer.HeaderOf(ZDATA, 0));
  EXPECT_EQ(Frame(s.peer), "1024k");
  s.peer.SendHex(ZRPOS, PositionBytes(1024));
  ASSERT_TRUE(s.peer.HeaderOf(ZDATA, 1024));
  EXPECT_EQ(Frame(s.peer), "512i 512k");
  s.peer.SendHex(ZRPOS, PositionBytes(1536));
  ASSERT_TRUE(s.peer.HeaderOf(ZDATA, 1536));
  EXPECT_EQ(Frame(s.peer), "256i 256i 256i 256k");
  s.peer.SendHex(ZACK, PositionBytes(2560));
  ASSERT_TRUE(s.peer.HeaderOf(ZDATA, 2560));
  EXPECT_EQ(Frame(s.peer), "256i 1024k");
  EXPECT_EQ(s.end.Protocol().BlockCheckMethod(), bcmCrc16);
  // Five CANs end the sender.
  s.line.Write(std::string(5, '\x18'));
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, -6005);
}

// The receiver's answer to a file offered with a file-management option:
// "skip", or the position it asks for.
struct OptionCase {
  const char* what;
  std::uint8_t option;         // ZF1 as the sender gives it
  bool exists;                 // a 100-byte file of date kHere is there
  std::int64_t incoming_size;
  std::int64_t incoming_date;  // seconds since 1970
  std::string answer;
};

constexpr std::int64_t kHere = 1000000000;

TEST(ZmodemEngine, FileManagementOptionsOnReceive) {
  const OptionCase cases[] = {
      {"protect", 7, true, 100, kHere + 100, "skip"},
      {"no option protects", 0, true, 100, kHere + 100, "skip"},
      {"no option, new file", 0, false, 100, kHere, "0"},
      {"clobber", 4, true, 50, kHere - 100, "0"},
      {"append", 3, true, 50, kHere, "100"},
      {"newer, same date", 5, true, 200, kHere + 1, "skip"},
      {"newer, older", 5, true, 200, kHere - 100, "skip"},
      {"newer, newer", 5, true, 50, kHere + 100, "0"},
      {"crc as newer", 2, true, 50, kHere + 100, "0"},
      {"newer-longer, older and shorter", 1, true, 50, kHere - 100, "skip"},
      {"newer-longer, older but longer", 1, true, 200, kHere - 100, "0"},
      {"different, same", 6, true, 100, kHere, "skip"},
      {"different, other size", 6, true, 101, kHere, "0"},
      {"skip when absent, absent", 0x84, false, 10, kHere, "skip"},
      {"skip when absent, present", 0x84, true, 10, kHere, "0"},
  };
  ScriptedSession s;
  const fs::path in = s.Inbox();
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  int n = 0;
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "f" + std::to_string(++n);
    if (c.exists) {
      std::ofstream(in / name, std::ios::binary) << std::string(100, 'h');
      const timespec times[2] = {{kHere, 0}, {kHere, 0}};
      ::utimensat(AT_FDCWD, (in / name).c_str(), times, 0);
    }
    const std::string info = name + '\0' + std::to_string(c.incoming_size) + ' ' +
                             OctalString(static_cast<std::uint32_t>(c.incoming_date)) + '\0';
    s.peer.SendBinary(ZFILE, {0, 0, c.option, 0}, &info);
    ASSERT_TRUE(s.peer.NextHeader());
    const std::uint8_t type = s.peer.reader_.Type;
    const std::int32_t at = BytesPosition(s.peer.reader_.Bytes);
    EXPECT_EQ(type == ZSKIP ? "skip" : type == ZRPOS ? std::to_string(at) : "other", c.answer);
    if (type != ZRPOS) continue;
    ASSERT_TRUE(s.peer.SendLastByte(at));
    EXPECT_EQ(fs::file_size(in / name), static_cast<std::uintmax_t>(at + 1));
  }
  s.peer.SendHex(ZFIN);
  ASSERT_TRUE(s.peer.HeaderOf(ZFIN));
  s.line.Write("OO");
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, 0);
}

// Our option replaces the sender's when the receiver overrides.
TEST(ZmodemEngine, OverriddenOptionProtects) {
  ScriptedSession s;
  const fs::path in = s.Inbox();
  std::ofstream(in / "kept") << "kept";
  s.end.Protocol().SetZmodemOptionOverride(true);
  s.end.Protocol().SetZmodemFileOption(zfoWriteProtect);
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  const std::string info = std::string("kept") + '\0' + "10" + '\0';
  s.peer.SendBinary(ZFILE, {0, 0, 4, 0}, &info);  // the sender says clobber
  ASSERT_TRUE(s.peer.NextHeader());
  EXPECT_EQ(s.peer.reader_.Type, ZSKIP);
  EXPECT_EQ(TempDir::Read(in / "kept"), "kept");
}

// A received name never places a file outside the destination; a name
// with nothing left to store under is refused and ends the transfer.
TEST(ZmodemEngine, ReceivedNamesStayInTheDestination) {
  ScriptedSession s;
  const fs::path in = s.Inbox();
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  const std::string climbing = std::string("../../up.bin") + '\0' + "1" + '\0';
  s.peer.SendBinary(ZFILE, {0, 0, 4, 0}, &climbing);
  ASSERT_TRUE(s.peer.HeaderOf(ZRPOS));
  ASSERT_TRUE(s.peer.SendLastByte(0));
  EXPECT_EQ(TempDir::Read(in / "up.bin"), "x");
  EXPECT_FALSE(fs::exists(s.dir.Path().parent_path() / "up.bin"));
  const std::string nothing = std::string("..") + '\0' + "1" + '\0';
  s.peer.SendBinary(ZFILE, {0, 0, 4, 0}, &nothing);
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, -6011);
}

TEST(ZmodemEngine, FiveCansEndTheReceiver) {
  ScriptedSession s;
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  EXPECT_EQ(s.peer.reader_.Bytes[3], 39);  // full duplex, overlapped I/O, break, CRC-32
  s.line.Write(std::string(5, '\x18'));
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, -6005);
}

// Free bytes where received files go, as a 32-bit answer holds them.
std::int64_t FreeBytes(const fs::path& dir) {
  struct statvfs st {};
  if (::statvfs(dir.c_str(), &st) != 0) return -1;
  return std::min<std::int64_t>(static_cast<std::int64_t>(st.f_bavail) * st.f_frsize, INT32_MAX);
}

// While it waits for a file the receiver tells the free space where files
// go and refuses a command; the session goes on after both.
TEST(ZmodemEngine, ReceiverAnswersFreeSpaceAndRefusesCommands) {
  ScriptedSession s;
  const fs::path in = s.Inbox();
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  s.peer.SendHex(ZFREECNT);
  ASSERT_TRUE(s.peer.HeaderOf(ZACK));
  // Other writers on the disk move its free space a little meanwhile.
  EXPECT_NEAR(BytesPosition(s.peer.reader_.Bytes), FreeBytes(in), 256 << 20);
  const std::string command = std::string("echo x") + '\0';
  s.peer.SendBinary(ZCOMMAND, {}, &command);
  ASSERT_TRUE(s.peer.NextHeader());
  EXPECT_EQ(s.peer.reader_.Type, ZNAK);
  const std::string info = std::string("f") + '\0' + "1" + '\0';
  s.peer.SendBinary(ZFILE, {0, 0, 4, 0}, &info);
  ASSERT_TRUE(s.peer.NextHeader());
  EXPECT_EQ(s.peer.reader_.Type, ZRPOS);
}

// A receiver may test the line with a challenge before it says what it can:
// the sender echoes its four bytes and goes on when the ZRINIT comes.
TEST(ZmodemEngine, SenderEchoesAChallenge) {
  ScriptedSession s;
  std::ofstream(s.dir.Path() / "out.bin", std::ios::binary) << "data";
  s.end.Protocol().StartTransmit();
  ASSERT_TRUE(s.peer.HeaderOf(ZRQINIT));
  const TZHeaderBytes challenge{0x18, 0x11, 0x7F, 0xC5};
  s.peer.SendHex(ZCHALLENGE, challenge);
  ASSERT_TRUE(s.peer.HeaderOf(ZACK));
  EXPECT_EQ(s.peer.reader_.Bytes, challenge);
  s.peer.SendHex(ZRINIT, {0, 0, 0, 0x23});
  ASSERT_TRUE(s.peer.HeaderOf(ZFILE));
}

// What the receiver sends to stop the sender before it asks it to go back:
// the plain bytes of the attention string in order; 222 puts nothing on the
// line but holds back what follows for 18 ticks; 221 is a break (5 ticks),
// never a byte.
struct AttentionCase {
  const char* what;
  std::string attention;  // as the sender's ZSINIT sets it
  bool damaged;           // a damaged block, else one at the wrong position
  std::string heard;      // the bytes before the ZRPOS
  std::size_t late_from;  // the heard bytes from here on and the ZRPOS come
  int late_ms;            // at least this long after the block was sent
};

// The engine's clock reads whole milliseconds.
constexpr int kClockGrainMs = 2;

// What the receiver sent after a block it refused, up to and including its
// request to go back to 0, with the times the bytes came.
struct Refusal {
  Clock::time_point sent;  // of the block
  std::string bytes;
  std::vector<Clock::time_point> at;
};

void RefuseBlock(ScriptedPeer& peer, bool damaged, Refusal& r) {
  r.sent = Clock::now();
  const std::string block = "abc";
  if (damaged) {
    peer.SendBinary(ZDATA, PositionBytes(0), &block, ZCRCG, true);
  } else {
    peer.SendBinary(ZDATA, PositionBytes(5));
  }
  ASSERT_TRUE(peer.NextHeaderHeard(r.bytes, r.at));
  ASSERT_EQ(peer.reader_.Type, ZRPOS);
  ASSERT_EQ(BytesPosition(peer.reader_.Bytes), 0);
}

TEST(ZmodemEngine, AttentionStringBeforeAskingToGoBack) {
  const AttentionCase cases[] = {
      {"plain bytes", "\x03" "ab\r", false, "\x03" "ab\r", 0, 0},
      {"a pause holds back the rest", "ab\xDE" "cd", true, "abcd", 2, 990},
      {"a break is no byte", "\xDD" "xy", false, "xy", 0, 275},
      {"a break and a pause at the end", "\x03\xDD\xDE", true, "\x03", 1, 1265},
      {"at most 31 bytes are kept", std::string(40, 'q'), false, std::string(31, 'q'), 0, 0},
  };
  ScriptedSession s;
  s.Inbox();
  // A new one-byte file, asked for from 0; the line end of that hex header
  // (CR, LF, XON) is passed over.
  const auto offer = [&s](const std::string& name) {
    const std::string info = name + '\0' + "1" + '\0';
    s.peer.SendBinary(ZFILE, {0, 0, 4, 0}, &info);
    return s.peer.HeaderOf(ZRPOS, 0) && s.peer.Skip(3);
  };
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  int n = 0;
  for (const AttentionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string attention = c.attention + '\0';
    s.peer.SendBinary(ZSINIT, {}, &attention);
    ASSERT_TRUE(s.peer.HeaderOf(ZACK));
    ASSERT_TRUE(offer("a" + std::to_string(++n)));
    Refusal r;
    RefuseBlock(s.peer, c.damaged, r);
    if (HasFatalFailure()) return;
    const std::size_t header = r.bytes.rfind("**\x18" "B");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(r.bytes.substr(0, header), c.heard);
    const auto late = std::chrono::milliseconds(c.late_ms - kClockGrainMs);
    for (std::size_t i = c.late_from; c.late_ms > 0 && i <= header; ++i) {
      EXPECT_GE(r.at[i] - r.sent, late) << "byte " << i;
    }
    ASSERT_TRUE(s.peer.Skip(3));
    ASSERT_TRUE(s.peer.SendLastByte(0));
  }
  s.peer.SendHex(ZFIN);
  ASSERT_TRUE(s.peer.HeaderOf(ZFIN));
  s.line.Write("OO");
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, 0);

  // The next session's sender set no attention string: none is sent.
  s.end.Protocol().StartReceive();
  ASSERT_TRUE(s.peer.HeaderOf(ZRINIT));
  ASSERT_TRUE(offer("b"));
  Refusal r;
  RefuseBlock(s.peer, false, r);
  if (HasFatalFailure()) return;
  EXPECT_EQ(r.bytes.find("**\x18" "B"), 0u) << r.bytes;
}

TEST(ZmodemEngine, OutputRingTooSmallForABlock) {
  ScriptedSession s;
  s.end.Port().SetOpen(false);
  s.end.Port().SetOutSize(2000);
  s.end.Port().SetOpen(true);
  s.end.Protocol().StartTransmit();
  ASSERT_TRUE(s.end.WaitFinished(2000));
  EXPECT_EQ(s.end.finish_code, -3006);
}

// Our sender and our receiver: a partial file is continued only when the
// sender's CRC of its length matches the bytes here.
TEST(ZmodemSelf, ResumeIsDecidedByTheFileCrc) {
  const std::string whole = NastyBytes(100000, 21);
  for (const bool same_start : {true, false}) {
    SCOPED_TRACE(same_start ? "same start" : "changed start");
    TempDir dir;
    fs::create_directories(dir.Path() / "in");
    std::ofstream(dir.Path() / "f.bin", std::ios::binary) << whole;
    std::string partial = whole.substr(0, 40000);
    if (!same_start) partial[39000] = static_cast<char>(partial[39000] ^ 1);
    std::ofstream(dir.Path() / "in" / "f.bin", std::ios::binary) << partial;
    PtyRelay relay;
    Endpoint sender(relay.OurLine(), kPort);
    Endpoint receiver(relay.PeerLine(), kOtherPort);
    MakeZmodem(sender);
    MakeZmodem(receiver);
    sender.Protocol().SetZmodemRecover(true);
    sender.Protocol().SetFileMask((dir.Path() / "f.bin").string());
    receiver.Protocol().SetDestinationDirectory((dir.Path() / "in").string());
    receiver.Protocol().StartReceive();
    sender.Protocol().StartTransmit();
    ASSERT_TRUE(sender.WaitFinished(20000));
    ASSERT_TRUE(receiver.WaitFinished(20000));
    EXPECT_EQ(sender.finish_code, 0);
    EXPECT_EQ(receiver.finish_code, 0);
    EXPECT_TRUE(TempDir::Read(dir.Path() / "in" / "f.bin") == whole);
    EXPECT_EQ(receiver.Protocol().InitialPosition(), same_start ? 40000 : 0);
    EXPECT_EQ(sender.Protocol().InitialPosition(), same_start ? 40000 : 0);
  }
}

}  // namespace
}  // namespace qor::testing
