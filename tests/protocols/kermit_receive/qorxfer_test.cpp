// qorxfer end to end: two of them over a relayed pair of pseudo-terminals,
// one against G-Kermit, and one that fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/kermit_receive/qorxfer_command.hpp"
#include "tests/protocols/kermit_receive/packet_relay.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

TEST(Qorxfer, SendsABatchToItselfWithWindowsAndLongPackets) {
  TempDir dir;
  const fs::path dst = dir.Subdir("dst");
  const std::vector<std::string> contents = {RandomBytes(30000, 21), std::string(5000, 'z')};
  const std::vector<std::string> files = {dir.Write("one.bin", contents[0]),
                                          dir.Write("two.bin", contents[1])};
  const std::vector<std::string> options = {"--protocol", "kermit", "--windows", "4",
                                            "--packet-length", "1000", "--check", "3"};
  PacketRelay relay;
  std::vector<std::string> receive = {"receive", "--port", relay.LineB(), "--dir", dst.string()};
  receive.insert(receive.end(), options.begin(), options.end());
  PeerProcess receiver(Qorxfer(receive), dir.Subdir("r").string(), "");
  ASSERT_TRUE(WaitUntil([&] { return relay.OpenedB(); }, 5000));
  std::vector<std::string> send = {"send", "--port", relay.LineA(), "--handshake-wait", "1"};
  send.insert(send.end(), options.begin(), options.end());
  send.insert(send.end(), files.begin(), files.end());
  PeerProcess sender(Qorxfer(send), dir.Subdir("s").string(), "");
  EXPECT_EQ(sender.Wait(30000), 0) << TempDir::Read(dir.Path() / "s" / "peer.log");
  EXPECT_EQ(receiver.Wait(10000), 0) << TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_TRUE(TempDir::Read(dst / "one.bin") == contents[0]);
  EXPECT_TRUE(TempDir::Read(dst / "two.bin") == contents[1]);
  const std::string said = TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_NE(said.find("received " + (dst / "two.bin").string() + ", 5000 bytes"), std::string::npos)
      << said;
}

TEST(Qorxfer, ReceivesFromGkermit) {
  TempDir dir;
  const fs::path dst = dir.Subdir("dst");
  const fs::path src = dir.Subdir("src");
  const std::string content = RandomBytes(20000, 22);
  std::ofstream(src / "image.bin", std::ios::binary) << content;
  PacketRelay relay;
  PeerProcess receiver(Qorxfer({"receive", "--port", relay.LineA(), "--protocol", "kermit",
                                "--dir", dst.string(), "--quiet"}),
                       dir.Subdir("r").string(), "");
  // G-Kermit waits a second before its first packet: time enough to open the port.
  PeerProcess sender({"gkermit", "-q", "-i", "-P", "-S", "-s", "image.bin"}, src.string(),
                     relay.LineB());
  EXPECT_EQ(receiver.Wait(30000), 0) << TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_EQ(sender.Wait(10000), 0);
  EXPECT_TRUE(TempDir::Read(dst / "image.bin") == content);
  EXPECT_EQ(TempDir::Read(dir.Path() / "r" / "peer.log"), "");  // quiet
}

TEST(Qorxfer, AFailureEndsWithItsCodeAndANonZeroStatus) {
  TempDir dir;
  PacketRelay relay;  // nobody on the other end
  PeerProcess receiver(Qorxfer({"receive", "--port", relay.LineA(), "--protocol", "kermit",
                                "--dir", dir.Path().string(), "--handshake-wait", "0.2",
                                "--retries", "1"}),
                       dir.Subdir("r").string(), "");
  EXPECT_EQ(receiver.Wait(10000), 1);
  const std::string said = TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_NE(said.find("error -6007: "), std::string::npos) << said;
}

}  // namespace
}  // namespace qor::testing
