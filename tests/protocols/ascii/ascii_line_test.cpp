// Both directions of the ASCII engine over a pseudo-terminal, the test
// playing the other end: the bytes on the wire, the file received, the
// reports, the delays as the line sees them, and the ends of a receive.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "protocols/core/protocol_core.hpp"
#include "tests/protocols/ascii/ascii_session.hpp"

namespace qor::testing {
namespace {

using Clock = std::chrono::steady_clock;

class AsciiLineTest : public ::testing::Test {
 protected:
  // What the line holds after the transfer: exactly the bytes sent.
  std::string Wire(std::size_t expected) {
    std::string got = line.Read(expected, 3000);
    got += line.Read(1, 50);  // nothing more may follow
    return got;
  }
  TQorProtocol& Protocol() { return s.end.Protocol(); }

  PtyPair line;
  AsciiSession s{line.Path()};
};

TEST_F(AsciiLineTest, LineFeedsGoOutAsCrLf) {
  Protocol().SetAsciiLFTranslation(aetAddCRBefore);
  ASSERT_TRUE(s.Send("one\ntwo\n\nthree"));
  EXPECT_EQ(Wire(17), "one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitOk}));
  EXPECT_EQ(s.end.first_reports, 1);
  EXPECT_EQ(s.end.last_reports, 1);
}

TEST_F(AsciiLineTest, CarriageReturnsStrippedAndEveryByteElsePassesUnchanged) {
  Protocol().SetAsciiCRTranslation(aetStrip);
  std::string all;
  for (int c = 0; c < 256; ++c) {
    if (c != 13 && c != 26) all += static_cast<char>(c);
  }
  ASSERT_TRUE(s.Send("a\r\n" + all + "\r"));
  EXPECT_EQ(Wire(all.size() + 2), "a\n" + all);
}

TEST_F(AsciiLineTest, ASentCtrlZEndsTheFileOnlyWhenSuppressed) {
  ASSERT_TRUE(s.Send(std::string("text\x1A" "after")));
  EXPECT_EQ(Wire(10), std::string("text\x1A" "after"));
  s.end.finished = false;
  Protocol().SetAsciiSuppressCtrlZ(true);
  ASSERT_TRUE(s.Send(std::string("text\x1A" "after")));
  EXPECT_EQ(Wire(4), "text");
  EXPECT_EQ(s.end.finish_code, 0);
}

TEST_F(AsciiLineTest, DelaysPaceTheLine) {
  // 20 ms after each of 12 characters waits in place; 300 ms after each line
  // end goes to the timer (6 ticks).
  Protocol().SetAsciiCharDelay(20);
  const auto start = Clock::now();
  ASSERT_TRUE(s.Send("abcdefghijkl"));
  EXPECT_GE(MsSince(start), 11 * 20);
  EXPECT_EQ(Wire(12), "abcdefghijkl");
  s.end.finished = false;
  Protocol().SetAsciiCharDelay(0);
  Protocol().SetAsciiLineDelay(300);
  Protocol().SetAsciiEOLChar('\n');
  const auto again = Clock::now();
  ASSERT_TRUE(s.Send("a\nb\nc\n"));
  EXPECT_GE(MsSince(again), 3 * 300);
  EXPECT_EQ(Wire(6), "a\nb\nc\n");
}

TEST_F(AsciiLineTest, ALineThatTakesNothingFailsTheTransmit) {
  // Nobody reads the line: the pseudo-terminal and the output buffer fill up
  // and stay full for the whole time-out.
  Protocol().SetTransmitTimeout(18);
  ASSERT_TRUE(s.Send(std::string(200000, 'x'), 10000));
  EXPECT_EQ(s.end.finish_code, -6006);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitFail}));
}

TEST_F(AsciiLineTest, NothingToSendFinishes) {
  Protocol().SetFileMask((s.dir.Path() / "none*.txt").string());
  Protocol().StartTransmit();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6003);
  Protocol().OnProtocolNextFile = [](TQorCustomProtocol&, std::string& name) { name.clear(); };
  s.end.finished = false;
  Protocol().StartTransmit();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_FALSE(Protocol().InProgress());
}

TEST_F(AsciiLineTest, ReceivedLineEndsTranslatedAndCtrlZEndsTheFile) {
  struct Case {
    bool suppress;
    const char* file;
  };
  for (const Case c : {Case{false, "one\r\ntwo\r\n\x1A"}, Case{true, "one\r\ntwo\r\n"}}) {
    SCOPED_TRACE(c.suppress);
    s.end.finished = false;
    s.end.logs.clear();
    Protocol().SetAsciiLFTranslation(aetAddCRBefore);
    Protocol().SetAsciiSuppressCtrlZ(c.suppress);
    Protocol().SetWriteFailAction(wfWriteAnyway);
    s.StartReceive();
    line.Write(std::string("one\ntwo\n\x1A" "after the end"));
    // The Ctrl-Z ends it long before the 20 s time-out.
    ASSERT_TRUE(s.end.WaitFinished(5000));
    EXPECT_EQ(s.end.finish_code, 0);
    EXPECT_EQ(TempDir::Read(s.Received()), c.file);
    EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveOk}));
    EXPECT_EQ(Protocol().FileSize(), static_cast<std::int32_t>(std::string(c.file).size()));
  }
}

TEST_F(AsciiLineTest, AReceivedCtrlZInTheLastPlaceOfABlockEndsTheFile) {
  Protocol().SetAsciiEOFTimeout(364);
  s.StartReceive();
  const std::string block = std::string(59, 'x') + "\x1A";
  line.Write(block + "tail");
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(TempDir::Read(s.Received()), block);
}

TEST_F(AsciiLineTest, AQuietLineEndsTheReceiveAsANormalEnd) {
  Protocol().SetAsciiEOFTimeout(9);  // about half a second
  s.StartReceive();
  const std::string text = std::string(150, 'a') + "\r\nlast line";
  line.Write(text);
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(s.end.finish_code, 0);
  EXPECT_TRUE(s.end.errors.empty());
  EXPECT_EQ(TempDir::Read(s.Received()), text);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveOk}));
  EXPECT_EQ(s.end.last_reports, 1);
}

TEST_F(AsciiLineTest, ASlowSenderIsNotCutOffByTheQuietTimeOut) {
  Protocol().SetAsciiEOFTimeout(18);  // about a second; the whole text takes 1.5
  s.StartReceive();
  const std::string text = "slowly typed...";
  for (const char c : text) {
    line.Write(std::string(1, c));
    PumpUntil([] { return false; }, 100);
  }
  ASSERT_TRUE(s.end.WaitFinished(5000));
  EXPECT_EQ(TempDir::Read(s.Received()), text);
}

TEST_F(AsciiLineTest, ARefusedFileEndsLikeASkippedOne) {
  s.end.on_accept = [](bool& accept, std::string&) { accept = false; };
  s.StartReceive();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6011);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveSkip}));
  EXPECT_FALSE(std::filesystem::exists(s.Received()));
  EXPECT_EQ(s.end.last_reports, 1);
}

TEST_F(AsciiLineTest, AReceiveWithoutAFileNameFails) {
  Protocol().StartReceive();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6010);
  EXPECT_EQ(s.end.errors, std::vector<std::int32_t>{-6010});
}

TEST_F(AsciiLineTest, AnExistingFileUnderWriteFailIsLeftAlone) {
  TQorProtocolLog log;
  log.SetHistoryName((s.dir.Path() / "H.HIS").string());
  log.SetDeleteFailed(dfAlways);
  Protocol().SetProtocolLog(&log);
  s.dir.Write("in.txt", "precious");
  Protocol().SetWriteFailAction(wfWriteFail);
  s.StartReceive();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6012);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveFail}));
  EXPECT_EQ(TempDir::Read(s.Received()), "precious");
}

TEST_F(AsciiLineTest, ANameThatCannotBeWrittenIsNotDeletedAfterTheFailure) {
  TQorProtocolLog log;
  log.SetHistoryName((s.dir.Path() / "H.HIS").string());
  log.SetDeleteFailed(dfAlways);
  Protocol().SetProtocolLog(&log);
  std::filesystem::create_directory(s.Received());  // opens for reading, not for writing
  Protocol().SetWriteFailAction(wfWriteAnyway);
  s.StartReceive();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -EISDIR);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveFail}));
  EXPECT_TRUE(std::filesystem::is_directory(s.Received()));
}

TEST_F(AsciiLineTest, ACancelledTransmitIsAFailure) {
  Protocol().SetAsciiCharDelay(300);  // every character waits on the timer
  Protocol().SetFileMask(s.dir.Write("out.txt", "slow text"));
  Protocol().StartTransmit();
  EXPECT_EQ(line.Read(2, 3000), "sl");
  Protocol().CancelTransfer();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6005);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitFail}));
  EXPECT_EQ(line.Read(1, 400), "");
}

TEST_F(AsciiLineTest, ACancelledReceiveIsAFailureAndItsPartialFileGoes) {
  TQorProtocolLog log;
  log.SetHistoryName((s.dir.Path() / "H.HIS").string());
  Protocol().SetProtocolLog(&log);
  s.StartReceive();
  line.Write(std::string(100, 'p'));
  ASSERT_TRUE(PumpUntil([&] { return Protocol().Data().TransferredCount >= 60; }, 3000));
  Protocol().CancelTransfer();
  ASSERT_TRUE(s.end.WaitFinished(3000));
  EXPECT_EQ(s.end.finish_code, -6005);
  EXPECT_EQ(s.end.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveFail}));
  EXPECT_FALSE(std::filesystem::exists(s.Received()));
  const std::string history = TempDir::Read(log.HistoryName());
  EXPECT_NE(history.find("Ascii receive failed " + s.Received().string() + " " +
                         StatusText(psCancelRequested) + "\r\n\r\n"),
            std::string::npos)
      << history;
}

}  // namespace
}  // namespace qor::testing
