// The Kermit receiver through the protocol component, with the test playing
// the sender packet by packet: the window, repeats, refusals, names, file
// errors, cancels and the sender's own ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/protocols/kermit_receive/receive_session.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

using Logs = std::vector<std::uint16_t>;

std::string Read(const fs::path& file) { return TempDir::Read(file); }

// Every file below root, relative to it.
std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(KermitReceive, StoresTheFileAndAnswersEveryPacket) {
  ReceiveSession s;
  const WirePacket init = s.Begin();
  EXPECT_EQ(Brief(init), "Y0");
  // Our parameters: 80 characters, 8-bit prefixing offered, the sender's
  // check type, repeat prefix agreed, one window, no long packets.
  EXPECT_EQ(FieldOf(init, 1), "p% @-#Y1~ !  ");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('F', 1, "HELLO.TXT"))), "Y1");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "abc"))), "Y2");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 3, "def#M#J~(z"))), "Y3");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 4, ""))), "Y4");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 5, ""))), "Y5");
  ASSERT_TRUE(s.receiver.WaitFinished(3000));
  EXPECT_EQ(s.receiver.finish_code, 0);
  EXPECT_TRUE(s.receiver.errors.empty());
  EXPECT_EQ(Read(s.dest / "HELLO.TXT"), "abcdef\r\n" + std::string(8, 'z'));
  EXPECT_EQ(s.receiver.offered, std::vector<std::string>{(s.dest / "HELLO.TXT").string()});
  EXPECT_EQ(s.receiver.logs, (Logs{lfReceiveStart, lfReceiveOk}));
  EXPECT_EQ(s.receiver.first_reports, 1);
  EXPECT_EQ(s.receiver.last_reports, 1);
}

// One packet of a script and the answers it must get.
struct Step {
  char type;
  int seq;
  std::string field;
  std::string answers;  // "" for none
  bool damaged = false;  // its block check is wrong
};

Step D(int seq, std::string answers) {
  return {'D', seq, ReceiveSession::Chunk(seq), std::move(answers)};
}

struct Script {
  std::string name;
  std::function<void(ReceiveSession&)> setup = [](ReceiveSession&) {};
  SenderParams params;
  std::vector<Step> steps;  // after the Send-Init and the file header "F.BIN"
  std::int32_t finish = 0;
  std::vector<int> stored;  // data packets the file holds, in order
};

void RunScript(const Script& script) {
  SCOPED_TRACE(script.name);
  ReceiveSession s;
  if (script.setup) script.setup(s);
  ASSERT_EQ(Brief(s.BeginFile("F.BIN", script.params)), "Y1");
  for (const Step& step : script.steps) {
    SCOPED_TRACE(::testing::Message() << step.type << step.seq);
    std::string frame = Frame(step.type, step.seq, step.field, s.check);
    if (step.damaged) frame[frame.size() - 2] ^= 1;
    s.sender.Send(frame);
    std::vector<WirePacket> got;
    const auto expected = std::count(step.answers.begin(), step.answers.end(), ' ') +
                          (step.answers.empty() ? 0 : 1);
    // An answer that must not come is given a moment to show up.
    while (static_cast<long>(got.size()) < expected || (expected == 0 && got.empty())) {
      auto p = s.sender.Next(expected == 0 ? 300 : 3000);
      if (!p) break;
      got.push_back(*p);
    }
    EXPECT_TRUE(AnswersMatch(step.answers, got));
  }
  ASSERT_TRUE(s.receiver.WaitFinished(5000));
  EXPECT_EQ(s.receiver.finish_code, script.finish);
  if (script.finish != 0) return;
  std::string expected;
  for (const int seq : script.stored) expected += ReceiveSession::Chunk(seq);
  EXPECT_EQ(Read(s.dest / "F.BIN"), expected);
}

void Windows(ReceiveSession& s, std::uint32_t n) { s.receiver.Protocol().SetKermitMaxWindows(n); }

TEST(KermitReceive, WindowPlacesEveryPacket) {
  SenderParams four;
  four.windows = 4;
  const auto window4 = [](ReceiveSession& s) { Windows(s, 4); };
  const Script scripts[] = {
      {"a gap is asked for once and filled by the late packet", window4, four,
       {D(2, "Y2"), D(4, "N3 Y4"), D(3, "Y3"), D(5, "Y5"), {'Z', 6, "", "Y6"}, {'B', 7, "", "Y7"}},
       0, {2, 3, 4, 5}},
      {"two missing packets are asked for in order", window4, four,
       {D(2, "Y2"), D(5, "N3 N4 Y5"), D(4, "Y4"), D(3, "Y3"), {'Z', 6, "", "Y6"},
        {'B', 7, "", "Y7"}},
       0, {2, 3, 4, 5}},
      {"a repeat of the newest is written once", window4, four,
       {D(2, "Y2"), D(3, "Y3"), D(3, "Y3"), {'Z', 4, "", "Y4"}, {'B', 5, "", "Y5"}}, 0, {2, 3}},
      {"a packet behind the window is ignored", window4, four,
       {D(2, "Y2"), D(3, "Y3"), D(4, "Y4"), D(5, "Y5"), D(6, "Y6"), D(2, ""), {'Z', 7, "", "Y7"},
        {'B', 8, "", "Y8"}},
       0, {2, 3, 4, 5, 6}},
      {"sequence numbers wrap at 64", window4, four,
       [] {
         std::vector<Step> steps;
         for (int seq = 2; seq < 70; ++seq) {
           steps.push_back(D(seq & 63, "Y" + std::to_string(seq & 63)));
         }
         steps.push_back({'Z', 70 & 63, "", "Y6"});
         steps.push_back({'B', 71 & 63, "", "Y7"});
         return steps;
       }(),
       0,
       [] {
         std::vector<int> seqs;
         for (int seq = 2; seq < 70; ++seq) seqs.push_back(seq & 63);
         return seqs;
       }()},
      {"a hole at the end of the file is fatal", window4, four,
       {D(2, "Y2"), D(4, "N3 Y4"), {'Z', 5, "", "E*"}}, -6013, {}},
      {"a sender running past the window is fatal", window4, four,
       {D(2, "Y2"), D(7, "E*")}, -6013, {}},
      {"an end of file past a packet that never came is fatal", window4, four,
       {D(2, "Y2"), {'Z', 4, "", "E*"}}, -6013, {}},
      {"window 1: a repeat replaces the stored copy", {}, {},
       {D(2, "Y2"), D(2, "Y2"), D(3, "Y3"), {'Z', 4, "", "Y4"}, {'B', 5, "", "Y5"}}, 0, {2, 3}},
      {"window 1: an older packet is not written again", {}, {},
       {D(2, "Y2"), D(3, "Y3"), D(2, ""), D(4, "Y4"), {'Z', 5, "", "Y5"}, {'B', 6, "", "Y6"}},
       0, {2, 3, 4}},
      {"window 1: an end of file past a packet that never came is fatal", {}, {},
       {D(2, "Y2"), {'Z', 4, "", "E*"}}, -6013, {}},
      {"window 1: a damaged packet is asked for again", {}, {},
       {D(2, "Y2"), {'D', 3, ReceiveSession::Chunk(3), "N3", true}, D(3, "Y3"), {'Z', 4, "", "Y4"},
        {'B', 5, "", "Y5"}},
       0, {2, 3}},
  };
  for (const Script& script : scripts) RunScript(script);
}

TEST(KermitReceive, RunsOfRepeatedBytesCrossBlockBoundaries) {
  // 2500 equal bytes: runs of 94 and one of 56, in packets of 1880 and 620.
  std::string first;
  std::string second;
  for (int i = 0; i < 20; ++i) first += "~~=";
  for (int i = 0; i < 6; ++i) second += "~~=";
  second += "~X=";
  ReceiveSession s;
  ASSERT_EQ(Brief(s.BeginFile("RUNS.BIN")), "Y1");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, first))), "Y2");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 3, second))), "Y3");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 4, ""))), "Y4");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 5, ""))), "Y5");
  ASSERT_TRUE(s.receiver.WaitFinished(3000));
  EXPECT_EQ(s.receiver.finish_code, 0);
  EXPECT_EQ(Read(s.dest / "RUNS.BIN"), std::string(2500, '='));
}

TEST(KermitReceive, ARepeatedSendInitIsAnsweredAgain) {
  for (const char check : {'1', '2', '3'}) {
    SCOPED_TRACE(check);
    ReceiveSession s;
    SenderParams params;
    params.check = check;
    const WirePacket first = s.Begin(params);
    // Our answer was lost: the sender asks again, with check type 1 as always.
    const WirePacket second = s.sender.Exchange(Frame('S', 0, SendInitField(params)));
    EXPECT_EQ(Brief(second), "Y0");
    EXPECT_EQ(FieldOf(second, 1), FieldOf(first, 1));
    const int c = check - '0';
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('F', 1, "F.BIN", c))), "Y1");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "data", c))), "Y2");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 3, "", c))), "Y3");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 4, "", c))), "Y4");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, 0);
    EXPECT_EQ(Read(s.dest / "F.BIN"), "data");
  }
}

TEST(KermitReceive, RepeatedHeadersAreAnsweredAgain) {
  const auto two_retries = [](ReceiveSession& s) { s.receiver.Protocol().SetHandshakeRetry(2); };
  SenderParams crc;
  crc.check = '3';
  const Step header{'F', 1, "F.BIN", "Y1"};
  const Script scripts[] = {
      {"the file header again", {}, {},
       {D(2, "Y2"), header, D(3, "Y3"), {'Z', 4, "", "Y4"}, {'B', 5, "", "Y5"}}, 0, {2, 3}},
      {"the end of file again", {}, {},
       {D(2, "Y2"), {'Z', 3, "", "Y3"}, {'Z', 3, "", "Y3"}, {'B', 4, "", "Y4"}}, 0, {2}},
      {"with check type 3", {}, crc,
       {D(2, "Y2"), header, {'Z', 3, "", "Y3"}, {'Z', 3, "", "Y3"}, {'B', 4, "", "Y4"}}, 0, {2}},
      {"past the error limit the sender is told", two_retries, {},
       {D(2, "Y2"), header, header, {'F', 1, "F.BIN", "Y1 E*"}}, -6007, {}},
  };
  for (const Script& script : scripts) RunScript(script);
}

TEST(KermitReceive, RefusedFilesEndTheTransferAndTouchNothing) {
  struct Case {
    std::string name;
    std::function<void(ReceiveSession&)> setup;
    std::string sent;
    std::string answer;
    std::int32_t finish;
    Logs logs;
  };
  const Case cases[] = {
      {"the application refuses",
       [](ReceiveSession& s) {
         s.receiver.on_accept = [](bool& accept, std::string&) { accept = false; };
       },
       "DATA.BIN", "Z1", -6005, {lfReceiveStart, lfReceiveSkip}},
      {"an existing file may not be overwritten",
       [](ReceiveSession& s) { s.receiver.Protocol().SetWriteFailAction(wfWriteFail); }, "DATA.BIN",
       "E*", -6012, {lfReceiveStart, lfReceiveFail}},
      {"the name would leave the directory",
       [](ReceiveSession& s) { s.receiver.Protocol().SetHonorDirectory(true); }, "../DATA.BIN",
       "Z1", -6011, {lfReceiveStart, lfReceiveSkip}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReceiveSession s;
    c.setup(s);
    std::ofstream(s.dest / "DATA.BIN") << "precious";
    std::ofstream(s.dir.Path() / "DATA.BIN") << "outside";
    const WirePacket answer = s.BeginFile(c.sent);
    EXPECT_TRUE(AnswersMatch(c.answer, {answer}));
    const std::string field = FieldOf(answer, 1);
    EXPECT_EQ(field, answer.type == 'Z' ? "D" : "Error opening or writing file");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, c.finish);
    EXPECT_EQ(s.receiver.logs, c.logs);
    EXPECT_EQ(Read(s.dest / "DATA.BIN"), "precious");
    EXPECT_EQ(Read(s.dir.Path() / "DATA.BIN"), "outside");
    EXPECT_EQ(FilesBelow(s.dir.Path()), (std::vector<std::string>{"DATA.BIN", "in/DATA.BIN"}));
  }
}

TEST(KermitReceive, ReceivedNamesLandInsideTheDestination) {
  struct Case {
    std::string sent;  // as the header's data field carries it
    bool honor_directory;
    std::string stored;  // below the destination; empty: refused
  };
  const Case cases[] = {
      {"../../evil", false, "evil"},
      {"C:\\OUT\\NAME.BIN", false, "NAME.BIN"},
      {"/etc/cron.d/job", false, "job"},
      {"ev#[il", false, "ev_il"},  // an escape character, control-prefixed
      {"sub/z", true, "sub/z"},
      {"sub/../y", true, "y"},
      {"../x", true, ""},
      {"/tmp/x", true, ""},
      {"..", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.sent + "\"");
    ReceiveSession s;
    s.receiver.Protocol().SetHonorDirectory(c.honor_directory);
    fs::create_directories(s.dest / "sub");
    const WirePacket answer = s.BeginFile(c.sent);
    if (c.stored.empty()) {
      EXPECT_EQ(Brief(answer), "Z1");
      ASSERT_TRUE(s.receiver.WaitFinished(3000));
      EXPECT_EQ(s.receiver.finish_code, -6011);
      EXPECT_TRUE(FilesBelow(s.dir.Path()).empty());
      continue;
    }
    EXPECT_EQ(Brief(answer), "Y1");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "hi"))), "Y2");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 3, ""))), "Y3");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 4, ""))), "Y4");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, 0);
    EXPECT_EQ(FilesBelow(s.dir.Path()), std::vector<std::string>{"in/" + c.stored});
  }
}

TEST(KermitReceive, AFileThatCannotBeWrittenStopsTheSender) {
  // Twenty runs of 94 bytes per packet: one packet fails when the file is
  // closed, twelve (22560 bytes) while the data still comes.
  std::string field;
  for (int i = 0; i < 20; ++i) field += "~~x";
  for (const int packets : {1, 12}) {
    SCOPED_TRACE(packets);
    ReceiveSession s;
    s.receiver.Protocol().SetWriteFailAction(wfWriteAnyway);
    s.receiver.on_accept = [](bool&, std::string& name) { name = "/dev/full"; };
    ASSERT_EQ(Brief(s.BeginFile("BIG.BIN")), "Y1");
    WirePacket answer;
    int seq = 2;
    for (; seq < 2 + packets && answer.type != 'E'; ++seq) {
      answer = s.sender.Exchange(Frame('D', seq, field));
    }
    if (answer.type == 'Y') answer = s.sender.Exchange(Frame('Z', seq, ""));
    EXPECT_EQ(answer.type, 'E');
    EXPECT_EQ(FieldOf(answer, 1), "Error opening or writing file");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, -6012);
    EXPECT_EQ(s.receiver.errors.front(), -101);  // disk full
  }
}

TEST(KermitReceive, AFileThatCannotBeCreatedIsAnsweredWithAnErrorPacket) {
  ReceiveSession s;
  s.receiver.Protocol().SetDestinationDirectory((s.dir.Path() / "missing").string());
  const WirePacket answer = s.BeginFile("F.BIN");
  EXPECT_EQ(answer.type, 'E');
  EXPECT_EQ(FieldOf(answer, 1), "Error opening or writing file");
  ASSERT_TRUE(s.receiver.WaitFinished(3000));
  EXPECT_EQ(s.receiver.finish_code, -6012);
  EXPECT_EQ(s.receiver.errors, std::vector<std::int32_t>{-ENOENT});
}

TEST(KermitReceive, CancelTellsTheSender) {
  {
    SCOPED_TRACE("while a file comes");
    ReceiveSession s;
    ASSERT_EQ(Brief(s.BeginFile("F.BIN")), "Y1");
    ASSERT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "abc"))), "Y2");
    s.receiver.Protocol().CancelTransfer();
    const auto answer = s.sender.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Brief(*answer), "Y3");
    EXPECT_EQ(FieldOf(*answer, 1), "Z");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, -6005);
    EXPECT_EQ(s.receiver.logs, (Logs{lfReceiveStart, lfReceiveFail}));
  }
  {
    SCOPED_TRACE("between files");
    ReceiveSession s;
    ASSERT_EQ(Brief(s.Begin()), "Y0");
    s.receiver.Protocol().CancelTransfer();
    const auto answer = s.sender.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Brief(*answer), "Z1");
    EXPECT_EQ(FieldOf(*answer, 1), "D");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, -6005);
  }
}

TEST(KermitReceive, ADiscardedFileIsDeleted) {
  {
    SCOPED_TRACE("\"D\": the batch goes on");
    ReceiveSession s;
    ASSERT_EQ(Brief(s.BeginFile("ONE.BIN")), "Y1");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "one"))), "Y2");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 3, "D"))), "Y3");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('F', 4, "TWO.BIN"))), "Y4");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 5, "two"))), "Y5");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 6, ""))), "Y6");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 7, ""))), "Y7");
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, 0);
    EXPECT_EQ(FilesBelow(s.dest), std::vector<std::string>{"TWO.BIN"});
    EXPECT_EQ(s.receiver.logs, (Logs{lfReceiveStart, lfReceiveSkip, lfReceiveStart, lfReceiveOk}));
  }
  {
    SCOPED_TRACE("\"D\" and more: the transfer ends");
    ReceiveSession s;
    ASSERT_EQ(Brief(s.BeginFile("ONE.BIN")), "Y1");
    EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "one"))), "Y2");
    s.sender.Send(Frame('Z', 3, "DX"));
    ASSERT_TRUE(s.receiver.WaitFinished(3000));
    EXPECT_EQ(s.receiver.finish_code, -6005);
    EXPECT_TRUE(FilesBelow(s.dest).empty());
  }
}

TEST(KermitReceive, TheSendersErrorPacketEndsTheTransferAsAFailure) {
  ReceiveSession s;
  ASSERT_EQ(Brief(s.BeginFile("F.BIN")), "Y1");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "abc"))), "Y2");
  s.sender.Send(Frame('E', 3, "Disk on fire"));
  ASSERT_TRUE(s.receiver.WaitFinished(3000));
  EXPECT_EQ(s.receiver.finish_code, -6016);
  EXPECT_EQ(s.receiver.logs, (Logs{lfReceiveStart, lfReceiveFail}));
}

TEST(KermitReceive, APacketLongerThanAgreedIsAskedForAgain) {
  ReceiveSession s;
  ASSERT_EQ(Brief(s.BeginFile("F.BIN")), "Y1");  // 80 characters agreed, no long packets
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, std::string(300, 'q')))), "N2");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('D', 2, "fits"))), "Y2");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('Z', 3, ""))), "Y3");
  EXPECT_EQ(Brief(s.sender.Exchange(Frame('B', 4, ""))), "Y4");
  ASSERT_TRUE(s.receiver.WaitFinished(3000));
  EXPECT_EQ(s.receiver.finish_code, 0);
  EXPECT_EQ(Read(s.dest / "F.BIN"), "fits");
}

TEST(KermitReceive, WithoutASenderItGivesUpAfterTheRetries) {
  ReceiveSession s;
  s.receiver.Protocol().SetHandshakeWait(3);
  s.receiver.Protocol().SetHandshakeRetry(2);
  s.receiver.Protocol().StartReceive();
  ASSERT_TRUE(s.receiver.WaitFinished(5000));
  EXPECT_EQ(s.receiver.finish_code, -6007);
  EXPECT_EQ(s.receiver.errors, std::vector<std::int32_t>{-6007});
  EXPECT_EQ(s.receiver.logs, Logs{lfReceiveFail});
}

}  // namespace
}  // namespace qor::testing
