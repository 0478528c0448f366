// The history log: the lines of each log code, the rate figures, the file's
// creation, the deletion of partly received files and the attachment to a
// protocol component.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "comm/errors/exceptions.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/log/history_entry.hpp"
#include "protocols/log/protocol_log.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"

namespace qor {
namespace {

using testing::TempDir;

constexpr const char* kWhen = "01.02.2024 13:45:00";

// A protocol component whose record tells of a transfer, and a log on it
// writing into a fresh directory with a fixed clock.
class LogTest : public ::testing::Test {
 protected:
  LogTest() : log(&form), protocol(new TQorProtocol(&form)) {
    log.SetHistoryName((dir.Path() / "HISTORY.HIS").string());
    log.Now = [] { return std::string(kWhen); };
    TProtocolData& d = protocol->Data();
    d.ProtocolType = ptAscii;
    CopyName("/in/notes.txt");
    d.FileLength = 115200;
    d.ElapsedTicks = 182;
    d.ProtocolStatus = psTimeout;
  }
  ~LogTest() override { delete protocol; }

  void CopyName(const std::string& name) {
    auto& path = protocol->Data().PathName;
    path.fill('\0');
    name.copy(path.data(), name.size());
  }
  std::string History() const { return TempDir::Read(log.HistoryName()); }

  TempDir dir;
  TQorBaseComponent form;
  TQorProtocolLog log;
  TQorProtocol* protocol;
};

TEST_F(LogTest, EachCodeWritesItsLines) {
  struct Case {
    std::uint16_t code;
    std::int32_t type;
    const char* lines;
  };
  const Case cases[] = {
      {0, ptAscii, "Ascii receive started on  01.02.2024 13:45:00 : /in/notes.txt\r\n"},
      {4, ptKermit, "Kermit transmit started on  01.02.2024 13:45:00 : /in/notes.txt\r\n"},
      {1, ptAscii,
       "Ascii receive finished OK 01.02.2024 13:45:00 : /in/notes.txt\r\n"
       "   Elapsed time:   0:10   CPS: 11520   Size: 115200\r\n\r\n"},
      {5, ptZmodem,
       "Zmodem transmit finished OK 01.02.2024 13:45:00 : /in/notes.txt\r\n"
       "   Elapsed time:   0:10   CPS: 11520   Size: 115200\r\n\r\n"},
      {2, ptAscii, "Ascii receive failed /in/notes.txt Time out in protocol\r\n\r\n"},
      {3, ptYmodem, "Ymodem receive skipped /in/notes.txt Time out in protocol\r\n\r\n"},
      {6, ptXmodem1K, "Xmodem1K transmit failed /in/notes.txt Time out in protocol\r\n\r\n"},
      {7, ptAscii, "Ascii transmit skipped /in/notes.txt Time out in protocol\r\n\r\n"},
  };
  ASSERT_EQ(StatusText(psTimeout), "Time out in protocol");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::filesystem::remove(log.HistoryName());
    protocol->Data().ProtocolType = c.type;
    log.WriteLogEntry(c.code);
    EXPECT_EQ(History(), c.lines);
  }
}

TEST_F(LogTest, EntriesAreAppendedToWhatTheFileHolds) {
  dir.Write("HISTORY.HIS", "earlier\r\n");
  log.WriteLogEntry(lfTransmitStart);
  log.WriteLogEntry(8);  // no such code: the file is opened and left as it was
  log.WriteLogEntry(lfTransmitStart);
  const std::string line = "Ascii transmit started on  01.02.2024 13:45:00 : /in/notes.txt\r\n";
  EXPECT_EQ(History(), "earlier\r\n" + line + line);
}

TEST_F(LogTest, AnUnknownCodeStillCreatesTheFile) {
  log.WriteLogEntry(9);
  EXPECT_TRUE(std::filesystem::exists(log.HistoryName()));
  EXPECT_EQ(History(), "");
}

TEST(HistoryCps, SizePerSecondOnceASecondHasPassed) {
  EXPECT_EQ(HistoryCps(115200, 182), 11520);
  EXPECT_EQ(HistoryCps(115200, 18), 115200);  // 18 ticks count as one second
  EXPECT_EQ(HistoryCps(115200, 17), 115200);  // under a second: the size itself
  EXPECT_EQ(HistoryCps(0, 0), 0);
}

TEST_F(LogTest, AShortTransferShowsItsSizeAsRate) {
  protocol->Data().ElapsedTicks = 17;
  protocol->Data().FileLength = 700;
  log.WriteLogEntry(lfReceiveOk);
  EXPECT_NE(History().find("   Elapsed time:   0:01   CPS: 700   Size: 700\r\n"), std::string::npos)
      << History();
}

TEST_F(LogTest, NoHistoryNameWritesNothing) {
  log.SetHistoryName("");
  const auto before = std::filesystem::current_path();
  EXPECT_NO_THROW(log.WriteLogEntry(lfTransmitStart));
  EXPECT_FALSE(std::filesystem::exists(before / "KESO.HIS"));
}

TEST(ProtocolLog, InitialValues) {
  TQorProtocolLog log;
  EXPECT_EQ(log.HistoryName(), "KESO.HIS");
  EXPECT_EQ(log.DeleteFailed(), dfNonRecoverable);
  EXPECT_EQ(log.Protocol(), nullptr);
}

TEST_F(LogTest, AHistoryThatCannotBeWrittenRaisesAFileError) {
  log.SetHistoryName(dir.Path().string());  // a directory
  EXPECT_THROW(log.WriteLogEntry(lfTransmitStart), EInOutError);
  log.SetHistoryName((dir.Path() / "missing" / "H.HIS").string());
  EXPECT_THROW(log.WriteLogEntry(lfTransmitStart), EInOutError);
}

TEST_F(LogTest, AFailedReceiveDeletesItsPartlyReceivedFileByTheRules) {
  struct Case {
    TDeleteFailed rule;
    std::int32_t type;
    std::int32_t error;
    bool deleted;
  };
  const Case cases[] = {
      {dfNever, ptAscii, -6006, false},
      {dfAlways, ptAscii, -6006, true},
      {dfAlways, ptZmodem, -6006, true},
      {dfAlways, ptZmodem, -6012, false},  // the file was never ours to write
      {dfNonRecoverable, ptKermit, -6005, true},
      {dfNonRecoverable, ptKermit, -6012, false},
      {dfNonRecoverable, ptZmodem, -6006, false},  // a Zmodem receive can resume it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.rule) << " " << c.type << " " << c.error);
    const std::string part = dir.Write("part.txt", "half");
    CopyName(part);
    TProtocolData& d = protocol->Data();
    d.WrittenFile = part;
    d.ProtocolType = c.type;
    d.ProtocolError = c.error;
    log.SetDeleteFailed(c.rule);
    log.WriteLogEntry(lfReceiveFail);
    EXPECT_EQ(std::filesystem::exists(part), !c.deleted);
    // Only the failed receive deletes.
    if (c.deleted) {
      dir.Write("part.txt", "half");
      log.WriteLogEntry(lfTransmitFail);
      log.WriteLogEntry(lfReceiveSkip);
      EXPECT_TRUE(std::filesystem::exists(part));
    }
  }
}

TEST_F(LogTest, AFileThisReceiveDidNotWriteIsKept) {
  // A name from an earlier transfer, or a file that could not be opened.
  const std::string other = dir.Write("user.txt", "keep me");
  CopyName(other);
  protocol->Data().ProtocolError = -13;
  log.SetDeleteFailed(dfAlways);
  protocol->Data().WrittenFile.clear();
  log.WriteLogEntry(lfReceiveFail);
  protocol->Data().WrittenFile = (dir.Path() / "other.txt").string();
  log.WriteLogEntry(lfReceiveFail);
  EXPECT_EQ(TempDir::Read(other), "keep me");
}

TEST_F(LogTest, TheComponentWritesTheEntryBeforeItsEvent) {
  std::vector<std::string> seen;
  protocol->OnProtocolLog = [&](TQorCustomProtocol&, std::uint16_t code) {
    seen.push_back(std::to_string(code) + ":" + History());
  };
  SendLogMessage(protocol->Data(), lfTransmitStart);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0],
            "4:Ascii transmit started on  01.02.2024 13:45:00 : /in/notes.txt\r\n");
  // A log that fails leaves the event unraised for that report.
  log.SetHistoryName(dir.Path().string());
  SendLogMessage(protocol->Data(), lfTransmitOk);
  EXPECT_EQ(seen.size(), 1u);
}

TEST(ProtocolLog, AttachesToAProtocolComponentOfTheSameOwner) {
  TQorBaseComponent form;
  auto* first = new TQorProtocolLog(&form);
  auto* protocol = new TQorProtocol(&form);
  EXPECT_EQ(protocol->ProtocolLog(), first);
  EXPECT_EQ(first->Protocol(), protocol);
  // A second log stays unattached; assigning it moves the protocol to it.
  auto* second = new TQorProtocolLog(&form);
  EXPECT_EQ(protocol->ProtocolLog(), first);
  EXPECT_EQ(second->Protocol(), nullptr);
  protocol->SetProtocolLog(second);
  EXPECT_EQ(second->Protocol(), protocol);
  delete second;
  EXPECT_EQ(protocol->ProtocolLog(), nullptr);
  // A log that comes after the protocol is taken when none is attached.
  delete first;
  auto* late = new TQorProtocolLog(&form);
  EXPECT_EQ(protocol->ProtocolLog(), late);
  delete protocol;
  EXPECT_EQ(late->Protocol(), nullptr);
}

TEST(LocalDateTimeText, FollowsTheLocaleAndTheTimeZone) {
  const char* old_all = std::getenv("LC_ALL");
  const char* old_tz = std::getenv("TZ");
  const std::string saved_all = old_all != nullptr ? old_all : "";
  const std::string saved_tz = old_tz != nullptr ? old_tz : "";
  ::setenv("LC_ALL", "C", 1);
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(LocalDateTimeText(1706795100), "02/01/24 13:45:00");
  if (old_all != nullptr) ::setenv("LC_ALL", saved_all.c_str(), 1); else ::unsetenv("LC_ALL");
  if (old_tz != nullptr) ::setenv("TZ", saved_tz.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace qor
