// qorxfer in ASCII mode with a history file, the test playing the other end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

TEST(AsciiQorxfer, SendsWithTranslationAndKeepsAHistory) {
  TempDir dir;
  PtyPair line;
  const std::string file = dir.Write("notes.txt", "first\nsecond\n\x1Anot sent");
  const fs::path history = dir.Path() / "xfer.his";
  PeerProcess qorxfer({QORXFER_PATH, "send", "--port", line.Path(), "--protocol", "ascii",
                       "--lf-translation", "add-cr", "--suppress-ctrl-z", "--char-delay", "1",
                       "--history", history.string(), file},
                      dir.Path().string(), "");
  EXPECT_EQ(line.Read(15, 5000), "first\r\nsecond\r\n");
  EXPECT_EQ(qorxfer.Wait(5000), 0) << TempDir::Read(dir.Path() / "peer.log");
  EXPECT_EQ(line.Read(1, 50), "");
  const std::string said = TempDir::Read(history);
  EXPECT_EQ(said.rfind("Ascii transmit started on  ", 0), 0u) << said;
  EXPECT_NE(said.find(" : " + file + "\r\nAscii transmit finished OK "), std::string::npos) << said;
}

TEST(AsciiQorxfer, ReceivesUntilTheLineGoesQuiet) {
  TempDir dir;
  PtyPair line;
  const fs::path dst = dir.Path() / "in";
  fs::create_directories(dst);
  PeerProcess qorxfer({QORXFER_PATH, "receive", "--port", line.Path(), "--protocol", "ascii",
                       "--dir", dst.string(), "got.txt", "--cr-translation",
                       "strip", "--eof-timeout", "0.5"},
                      dir.Path().string(), "");
  // The file exists once the receive is under way; what comes earlier may be lost.
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(dst / "got.txt"); }, 5000));
  line.Write("one\r\ntwo\r\n");
  EXPECT_EQ(qorxfer.Wait(5000), 0) << TempDir::Read(dir.Path() / "peer.log");
  EXPECT_EQ(TempDir::Read(dst / "got.txt"), "one\ntwo\n");
}

}  // namespace
}  // namespace qor::testing
