// qorxfer with Xmodem and Ymodem: to itself, from sb, and without a name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit_receive/qorxfer_command.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"
#include "tests/protocols/xmodem/socket_line.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

TEST(Qorxfer, XmodemToItselfStoresUnderTheNameGiven) {
  TempDir dir;
  const fs::path dst = dir.Subdir("dst");
  const std::string content = RandomBytes(30000, 1);
  const std::string file = dir.Write("image.bin", content);
  PtyRelay relay;
  PeerProcess receiver(Qorxfer({"receive", "--port", relay.PeerLine(), "--protocol", "xmodem-1k",
                                "--dir", dst.string(), "copy.bin"}),
                       dir.Subdir("r").string(), "");
  ASSERT_TRUE(WaitUntil([&] { return relay.PeerOpened(); }, 5000));
  PeerProcess sender(Qorxfer({"send", "--port", relay.OurLine(), "--protocol", "xmodem-1k", file}),
                     dir.Subdir("s").string(), "");
  EXPECT_EQ(sender.Wait(30000), 0) << TempDir::Read(dir.Path() / "s" / "peer.log");
  EXPECT_EQ(receiver.Wait(10000), 0) << TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_TRUE(PaddedCopy(content, TempDir::Read(dst / "copy.bin")));
}

TEST(Qorxfer, YmodemFromSb) {
  TempDir dir;
  const fs::path dst = dir.Subdir("dst");
  const fs::path src = dir.Subdir("src");
  const std::vector<std::string> files = WriteFiles(src, {RandomBytes(5000, 2), ""});
  SocketLine line;
  PeerProcess receiver(
      Qorxfer({"receive", "--port", line.OurLine(), "--protocol", "ymodem", "--dir", dst.string()}),
      dir.Subdir("r").string(), "");
  PeerProcess sender({"sb", "-q", "-k", "file0.bin", "file1.bin"}, src.string(), line.PeerFd());
  EXPECT_EQ(receiver.Wait(30000), 0) << TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_EQ(sender.Wait(10000), 0);
  for (const std::string& f : files) {
    EXPECT_TRUE(TempDir::Read(dst / fs::path(f).filename()) == TempDir::Read(f)) << f;
  }
  const std::string said = TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_NE(said.find("received " + (dst / "file0.bin").string() + ", 5000 bytes"),
            std::string::npos)
      << said;
}

TEST(Qorxfer, AnXmodemReceiveWithoutANameDoesNotStart) {
  TempDir dir;
  PtyPair line;
  PeerProcess receiver(Qorxfer({"receive", "--port", line.Path(), "--protocol", "xmodem", "--dir",
                                dir.Path().string()}),
                       dir.Subdir("r").string(), "");
  EXPECT_EQ(receiver.Wait(10000), 2);
  const std::string said = TempDir::Read(dir.Path() / "r" / "peer.log");
  EXPECT_NE(said.find("error -6010: "), std::string::npos) << said;
}

}  // namespace
}  // namespace qor::testing
