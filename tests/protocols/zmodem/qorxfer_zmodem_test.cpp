// qorxfer with Zmodem against lrzsz: the options reach the engine.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/zmodem/zmodem_endpoint.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

struct Line {
  Line() : ours(dir.Path() / "ours"), theirs(dir.Path() / "theirs") {
    fs::create_directories(ours);
    fs::create_directories(theirs);
  }
  std::vector<std::string> Qorxfer(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {QORXFER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  TempDir dir;
  fs::path ours;
  fs::path theirs;
  PtyRelay relay;
};

TEST(ZmodemQorxfer, SendsWithEightKBlocksAndEscapedControls) {
  Line l;
  const std::string a = NastyBytes(30000, 30);
  const std::string b = NastyBytes(5, 31);
  std::ofstream(l.ours / "a.bin", std::ios::binary) << a;
  std::ofstream(l.ours / "b.bin", std::ios::binary) << b;
  // rz does not ask for escaping: we tell it with a ZSINIT that we escape.
  PeerProcess rz(RzCommand({"-y"}), l.theirs.string(), l.relay.PeerLine());
  PeerProcess us(l.Qorxfer({"send", "--port", l.relay.OurLine(), "--protocol", "zmodem", "--quiet",
                            "--zmodem-8k", "--escape-control", "--handshake-wait", "2", "a.bin", "b.bin"}),
                 l.ours.string(), "");
  EXPECT_EQ(us.Wait(30000), 0) << TempDir::Read(l.ours / "peer.log");
  EXPECT_EQ(rz.Wait(10000), 0);
  EXPECT_TRUE(TempDir::Read(l.theirs / "a.bin") == a);
  EXPECT_TRUE(TempDir::Read(l.theirs / "b.bin") == b);
  // Every control character went out escaped: none but XON after ZCRCW,
  // CR and LF of hex headers, and the ZDLE that escapes.
  for (const char c : l.relay.OurWire()) {
    const auto u = static_cast<unsigned char>(c);
    if ((u & 0x60) != 0) continue;
    EXPECT_TRUE(u == 0x18 || u == 0x11 || u == '\r' || u == 0x8A) << static_cast<int>(u);
  }
}

// sz names no file-management option, which protects an existing file;
// --file-option on receive replaces the sender's choice.
TEST(ZmodemQorxfer, ReceiveFileOptionOverridesTheSenders) {
  Line l;
  const std::string fresh = NastyBytes(20000, 32);
  std::ofstream(l.theirs / "c.bin", std::ios::binary) << fresh;
  std::ofstream(l.ours / "c.bin", std::ios::binary) << "old contents";
  PeerProcess us(l.Qorxfer({"receive", "--port", l.relay.OurLine(), "--protocol", "zmodem", "--quiet",
                            "--dir", l.ours.string(), "--file-option", "clobber", "--handshake-wait",
                            "2"}),
                 l.dir.Path().string(), "");
  PeerProcess sz(SzCommand({"c.bin"}), l.theirs.string(), l.relay.PeerLine());
  EXPECT_EQ(us.Wait(30000), 0) << TempDir::Read(l.dir.Path() / "peer.log");
  EXPECT_EQ(sz.Wait(10000), 0);
  EXPECT_TRUE(TempDir::Read(l.ours / "c.bin") == fresh);
}

// Ctrl+C or a polite kill while the tool waits for a sender that never
// comes: the transfer is cancelled at once, reported as failed, and the
// tool ends.
TEST(ZmodemQorxfer, AnInterruptCancelsTheTransferAtOnce) {
  for (const int signal : {SIGINT, SIGTERM}) {
    Line l;
    PeerProcess us(l.Qorxfer({"receive", "--port", l.relay.OurLine(), "--protocol", "zmodem",
                              "--quiet", "--dir", l.ours.string(), "--handshake-wait", "60"}),
                   l.dir.Path().string(), "");
    // Until the tool has sent its first ZRINIT it may not have its
    // interrupt watch yet.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (l.relay.OurWire().empty() && std::chrono::steady_clock::now() < until) {
      EXPECT_EQ(us.Wait(20), -1);
    }
    ASSERT_FALSE(l.relay.OurWire().empty());
    const auto sent = std::chrono::steady_clock::now();
    us.Signal(signal);
    EXPECT_EQ(us.Wait(5000), 1) << "signal " << signal << ": "
                                << TempDir::Read(l.dir.Path() / "peer.log");
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
  }
}

}  // namespace
}  // namespace qor::testing
