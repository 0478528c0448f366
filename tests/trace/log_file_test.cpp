// The dispatch log file: header, table rows, data items and their wrapping, dumps.
#include <sys/utsname.h>

#include <cerrno>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/trace/dump_file_fixture.hpp"

namespace qor::testing {
namespace {

constexpr std::size_t kHeaderLines = 7;

class LogFileTest : public DumpFileTest {
 protected:
  void Add(std::uint8_t kind, std::uint16_t sub_kind, std::uint32_t time, std::uint32_t number,
           const std::string& data = {}) {
    d.LogQueue().Push(std::make_unique<TLogBuffer>(
        kind, sub_kind, time, number, reinterpret_cast<const std::uint8_t*>(data.data()),
        static_cast<std::uint32_t>(data.size())));
  }

  // The lines after the header of a file holding one dump.
  std::vector<std::string> Rows(const std::string& name) {
    std::vector<std::string> lines = Lines(name);
    EXPECT_GE(lines.size(), kHeaderLines);
    if (lines.size() < kHeaderLines) return {};
    return {lines.begin() + kHeaderLines, lines.end()};
  }
};

bool Matches(const std::string& text, const char* pattern) {
  return std::regex_match(text, std::regex(pattern));
}

TEST_F(LogFileTest, AnEmptyLogWritesNoFile) {
  d.StartLog(0);
  EXPECT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);
  EXPECT_FALSE(Exists("l.log"));
}

TEST_F(LogFileTest, HeaderThenTheRowOfAnAvailNoticeAt61Point5Seconds) {
  d.SetDeviceName("COM3");
  Add(dlkTrigger, dlsAvail, 61500, 3);
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);

  const std::vector<std::string> lines = Lines("l.log");
  ASSERT_EQ(lines.size(), kHeaderLines + 1);
  EXPECT_EQ(lines[0], "KESO v4.07");
  EXPECT_TRUE(Matches(lines[1], R"(Compiler : (GCC|Clang) \d+\.\d+\.\d+)")) << lines[1];
  utsname system{};
  ASSERT_EQ(uname(&system), 0);
  const std::string os = std::string("Operating System : ") + system.sysname + " " +
                         system.release + " " + system.machine + " ";
  EXPECT_EQ(lines[2].substr(0, os.size()), os);
  EXPECT_LE(lines[2].size(), std::string("Operating System : ").size() + 80);
  EXPECT_EQ(lines[3], "Device: COM3");
  EXPECT_TRUE(Matches(lines[4], R"(Date/time: \d\d/\d\d/\d\d, \d\d:\d\d:\d\d)")) << lines[4];
  EXPECT_EQ(lines[5], "Time      Type      SubType       Data      OtherData");
  EXPECT_EQ(lines[6], "--------  --------  ------------  --------  ---------");
  EXPECT_EQ(lines[7], "0061.500  Trigger   Avail         00000003  ");
}

TEST_F(LogFileTest, Rows) {
  struct Case {
    std::uint8_t kind;
    std::uint16_t sub_kind;
    std::uint32_t time;
    std::uint32_t number;
    std::string data;
    bool in_hex;
    bool all_hex;
    const char* row;
  };
  const Case cases[] = {
      {1, 1, 1234, 4, "OK\r\n", false, false, "0001.234  Dispatch  ReadCom       00000004  OK[13][10]"},
      {1, 2, 7, 3, "a b", true, false, "0000.007  Dispatch  WriteCom      00000003  a[20]b"},
      {1, 1, 0, 2, "OK", false, true, "0000.000  Dispatch  ReadCom       00000002  [4F][4B]"},
      {19, 0, 12345678, 0xDEADBEEF, "a\x01", true, true,
       "12345.678  User                    DEADBEEF  a\x01"},
      {19, 0, 5, 0, "a\x01", true, false, "0000.005  User                    00000000  a[01]"},
      {1, 8, 10, 0, "Dispatch buffer full.", false, false,
       "0000.010  Dispatch  Status        00000000  Dispatch buffer full."},
      {5, 15, 0, 16, "\x02", false, false, "0000.000  TrigAllc  Status        00000010  (Line status)"},
      {6, 15, 0, 16, "\x05", false, false, "0000.000  TrigDisp  Status        00000010  (Output sent)"},
      {9, 15, 0, 16, std::string("\x10\0\0\0", 4), false, false,
       "0000.000  TrDatChg  Status        00000010  [16][0][0][0]"},
      {9, 14, 0, 8, "Deactivated", false, false,
       "0000.000  TrDatChg  Timer         00000008  Deactivated"},
      {3, 4, 0, 0x91, "x", false, false,
       "0000.000  Error     Modem status  00000091  x(DCTS CTS DCD)"},
      {3, 4, 0, 0xFF, "x", false, false,
       "0000.000  Error     Modem status  000000FF  x(DCTS DDSR TERI DDCD CTS DSR RI DCD)"},
      {3, 4, 0, 0, "x", false, false, "0000.000  Error     Modem status  00000000  x()"},
      {3, 4, 0, 0x10, "", false, false, "0000.000  Error     Modem status  00000010  "},
      {10, 0, 0, 24, "", false, false, "0000.000  Telnet                  00000018  [Terminal Type]"},
      {10, 0, 0, 42, "", false, false, "0000.000  Telnet                  0000002A  [Character Set]"},
      {10, 0, 0, 43, "", false, false, "0000.000  Telnet                  0000002B  "},
      {7, 17, 0, 0x1234, "", false, false, "0000.000  TrgHdAlc  Window        00001234  "},
      // Codes beyond the tables name nothing rather than some other message.
      {99, 401, 0, 0, "", false, false, "0000.000                          00000000  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    Add(c.kind, c.sub_kind, c.time, c.number, c.data);
    ASSERT_EQ(d.WriteLog(Path("l.log"), false, c.in_hex, c.all_hex), 0);
    EXPECT_EQ(Rows("l.log"), std::vector<std::string>{c.row});
  }
}

TEST_F(LogFileTest, StatusTriggerKinds) {
  const char* texts[] = {"(Not active)",         "(Modem status)",       "(Line status)",
                         "(Output buffer free)", "(Output buffer used)", "(Output sent)"};
  for (char kind = 0; kind < 6; ++kind) Add(dlkTriggerAlloc, dlsStatusTrigger, 0, 8, {kind});
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);
  const std::vector<std::string> rows = Rows("l.log");
  ASSERT_EQ(rows.size(), 6u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i], std::string("0000.000  TrigAllc  Status        00000008  ") + texts[i]);
  }
}

TEST_F(LogFileTest, LongDataContinuesUnderTheDataColumn) {
  const std::string prefix = "0000.000  Dispatch  ReadCom       00000000  ";
  const std::string indent(44, ' ');
  Add(dlkDispatch, dlsReadCom, 0, 0, std::string(40, 'x'));
  Add(dlkDispatch, dlsReadCom, 0, 0, std::string(10, 'x'));
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);
  EXPECT_EQ(Rows("l.log"), (std::vector<std::string>{prefix + std::string(33, 'x'),
                                                     indent + std::string(7, 'x'),
                                                     prefix + std::string(10, 'x')}));

  Add(dlkDispatch, dlsReadCom, 0, 0, std::string(17, 'x'));
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, true), 0);
  std::string items;
  for (int i = 0; i < 8; ++i) items += "[78]";
  EXPECT_EQ(Rows("l.log"), (std::vector<std::string>{prefix + items, indent + items,
                                                     indent + "[78]"}));
}

TEST_F(LogFileTest, EveryDumpBeginsWithAHeaderAndEmptiesTheLog) {
  d.StartLog(0);
  Add(dlkTrigger, dlsTimer, 1, 1);
  ASSERT_EQ(d.WriteLog(Path("l.log"), true, false, false), 0);
  EXPECT_TRUE(d.LogQueue().Empty());
  EXPECT_TRUE(d.Logging());
  Add(dlkTrigger, dlsTimer, 2, 2);
  ASSERT_EQ(d.WriteLog(Path("l.log"), true, false, false), 0);

  const std::vector<std::string> lines = Lines("l.log");
  ASSERT_EQ(lines.size(), 2 * (kHeaderLines + 1));
  EXPECT_EQ(lines[kHeaderLines], "0000.001  Trigger   Timer         00000001  ");
  EXPECT_EQ(lines[kHeaderLines + 1], "KESO v4.07");
  EXPECT_EQ(lines[2 * kHeaderLines + 1], "0000.002  Trigger   Timer         00000002  ");

  d.PauseLog();
  Add(dlkTrigger, dlsTimer, 3, 3);
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);  // replaces it
  EXPECT_EQ(Rows("l.log"),
            std::vector<std::string>{"0000.003  Trigger   Timer         00000003  "});
  EXPECT_FALSE(d.Logging());
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedKeepsTheEntries) {
  Add(dlkTrigger, dlsTimer, 1, 1);
  EXPECT_EQ(d.WriteLog(Path("missing/l.log"), false, false, false), -ENOENT);
  EXPECT_EQ(d.WriteLog(Path(""), false, false, false), -EISDIR);
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, false, false), 0);
  EXPECT_EQ(Rows("l.log"),
            std::vector<std::string>{"0000.001  Trigger   Timer         00000001  "});
}

TEST_F(LogFileTest, AFailedWriteIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Add(dlkTrigger, dlsTimer, 1, 1);
  EXPECT_EQ(d.WriteLog("/dev/full", false, false, false), -ENOSPC);
}

TEST_F(LogFileTest, WhatTheDispatcherRecordsIsWritten) {
  ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
  d.StartLog(0);
  const std::uint8_t at[] = {'A', 'T'};
  ASSERT_EQ(d.WriteBlock(at, 2), 0);
  d.SetAvailThreshold(5);
  ASSERT_EQ(d.WriteLog(Path("l.log"), false, true, false), 0);
  const std::vector<std::string> rows = Rows("l.log");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(Matches(rows[0], R"(\d{4}\.\d{3}  Dispatch  WriteCom      00000002  AT)")) << rows[0];
  EXPECT_TRUE(Matches(rows[1], R"(\d{4}\.\d{3}  TrDatChg  Avail         00000005  )")) << rows[1];
}

}  // namespace
}  // namespace qor::testing
