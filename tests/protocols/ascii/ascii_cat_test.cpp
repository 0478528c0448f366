// The ASCII engine against cat on the other end of the line: cat writing a
// file into the line as the sender, cat copying the line into a file as the
// receiver.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/protocols/ascii/ascii_session.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"

namespace qor::testing {
namespace {

// Lines of text with LF ends, reproducible.
std::string Text(std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    text += "line " + std::to_string(i) + ": " + std::string(i % 70, static_cast<char>('a' + i % 26)) + "\n";
  }
  return text;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class AsciiCatTest : public ::testing::Test {
 protected:
  TQorProtocol& Protocol() { return s.end.Protocol(); }

  PtyRelay relay;
  AsciiSession s{relay.OurLine()};
};

TEST_F(AsciiCatTest, ReceivesWhatCatWritesUntilTheLineGoesQuiet) {
  const std::string text = Text(600);
  const std::string source = s.dir.Write("source.txt", text);
  Protocol().SetAsciiEOFTimeout(9);
  s.StartReceive();
  PeerProcess cat({"cat", source}, s.dir.Path().string(), relay.PeerLine());
  ASSERT_TRUE(s.end.WaitFinished(20000));
  EXPECT_EQ(cat.Wait(3000), 0);
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_EQ(TempDir::Read(s.Received()), text);
}

TEST_F(AsciiCatTest, ACtrlZFromCatEndsTheFileAtOnce) {
  const std::string text = Text(200);
  const std::string source = s.dir.Write("source.txt", text + "\x1A");
  Protocol().SetAsciiLFTranslation(aetAddCRBefore);  // the 20 s quiet time-out stays
  s.StartReceive();
  PeerProcess cat({"cat", source}, s.dir.Path().string(), relay.PeerLine());
  ASSERT_TRUE(s.end.WaitFinished(10000));
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_EQ(TempDir::Read(s.Received()), WithCrLf(text) + "\x1A");
}

TEST_F(AsciiCatTest, CatReceivesWhatWeSend) {
  const std::string text = Text(600);
  const std::filesystem::path got = s.dir.Path() / "got.txt";
  PeerProcess cat({"sh", "-c", "exec cat > got.txt"}, s.dir.Path().string(), relay.PeerLine());
  ASSERT_TRUE(WaitUntil([&] { return relay.PeerOpened(); }, 5000));
  Protocol().SetAsciiLFTranslation(aetAddCRBefore);
  ASSERT_TRUE(s.Send(text, 20000));
  EXPECT_EQ(s.end.finish_code, 0);
  const std::string expected = WithCrLf(text);
  EXPECT_TRUE(WaitUntil(
      [&] { return std::filesystem::exists(got) && std::filesystem::file_size(got) >= expected.size(); },
      5000));
  cat.Kill();
  EXPECT_EQ(TempDir::Read(got), expected);
}

}  // namespace
}  // namespace qor::testing
