// What reaches the component's window: status, errors, next-file and
// accept-file questions, and the one finish message with its code.
#include <cstring>
#include <string>
#include <vector>

#include "comm/dispatcher/io_queue.hpp"
#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

TEST(ProtocolReports, NestedFirstAndLastStatusGiveOneFirstAndOneLast) {
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  ShowFirstStatus(*record);
  ShowFirstStatus(*record);
  ShowLastStatus(*record);
  ShowLastStatus(*record);
  ShowLastStatus(*record);  // unbalanced: nothing more
  EXPECT_EQ(window.Codes(kMsgProtocolStatus), (std::vector<std::int32_t>{1, 0, 0, 2}));
  for (const Report& r : window.Reports()) EXPECT_EQ(r.lparam, reinterpret_cast<std::intptr_t>(record.get()));
  EXPECT_EQ(record->InProgress, 0);
}

TEST(ProtocolReports, ErrorIsSentBeforeItIsRecorded) {
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  std::int32_t seen_error = 1;
  window.reply = [&](std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    if (msg == kMsgProtocolError) seen_error = record->ProtocolError;
    return 0;
  };
  ReportProtocolError(*record, -6014);
  EXPECT_EQ(window.Codes(kMsgProtocolError), std::vector<std::int32_t>{-6014});
  EXPECT_EQ(seen_error, 0);
  EXPECT_EQ(record->ProtocolError, -6014);
}

TEST(ProtocolReports, QuestionsTakeTheComponentsAnswer) {
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  std::intptr_t answer = 0;
  window.reply = [&](std::uint32_t msg, std::uintptr_t, std::intptr_t lparam) -> std::intptr_t {
    if (msg == kMsgProtocolNextFile) std::strcpy(reinterpret_cast<char*>(lparam), "next.bin");
    return answer;
  };
  char name[kPathSize] = "";
  const std::pair<std::intptr_t, bool> next_cases[] = {{0, false}, {1, true}, {-1, true}};
  for (auto [reply, expected] : next_cases) {
    answer = reply;
    EXPECT_EQ(SendNextFileMessage(*record, name), expected) << reply;
    EXPECT_STREQ(name, "next.bin");
  }
  const std::pair<std::intptr_t, bool> accept_cases[] = {{1, true}, {0, false}, {2, false}};
  for (auto [reply, expected] : accept_cases) {
    answer = reply;
    EXPECT_EQ(SendAcceptFileMessage(*record, name), expected) << reply;
  }
  EXPECT_EQ(window.Reports().back().lparam, reinterpret_cast<std::intptr_t>(name));

  auto silent = NewRecord();  // no window: no answers
  EXPECT_FALSE(SendNextFileMessage(*silent, name));
  EXPECT_FALSE(SendAcceptFileMessage(*silent, name));
}

TEST(ProtocolReports, LogCodesReachTheWindow) {
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  record->LogProc(*record, lfTransmitStart);
  record->LogProc(*record, lfTransmitOk);
  EXPECT_EQ(window.Codes(kMsgProtocolLog), (std::vector<std::int32_t>{4, 5}));
}

TEST(FinishProtocol, StatusBecomesTheFinishCodeUnlessAnErrorWasReported) {
  struct Case {
    std::int32_t status;
    std::int32_t error;
    std::int32_t code;
  };
  const Case cases[] = {
      {psOK, 0, 0},
      {psFileRejected, 0, -6011},
      {psCantWriteFile, 0, -6012},
      {psTimeout, 0, -6006},
      {psProtocolError, 0, -6007},
      {psCancelRequested, 0, -6005},
      {psSequenceError, 0, -6009},
      {psAbortNoCarrier, 0, -6014},
      {psAbort, 0, -6016},
      {psEndFile, 0, 0},
      {psBlockCheckError, 0, 0},
      {psCancelRequested, -2, -2},
  };
  for (const Case& c : cases) {
    ReportWindow window;
    auto record = NewRecord(nullptr, window.Handle());
    record->ProtocolStatus = c.status;
    record->ProtocolError = c.error;
    FinishProtocol(*record);
    EXPECT_EQ(window.Count(kMsgProtocolFinish), 0u);  // posted, not sent
    EXPECT_EQ(window.AwaitFinish(), c.code) << c.status;
    EXPECT_EQ(window.Reports().back().lparam, reinterpret_cast<std::intptr_t>(record.get()));
    EXPECT_EQ(record->ProtocolError, c.code);
  }
}

TEST(FinishProtocol, LeavesTheRecordReusable) {
  TempDir dir;
  auto record = NewRecord();
  std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Write("a.bin", "abc").c_str());
  PrepareReading(*record);
  ASSERT_TRUE(record->FileOpen);
  FinishProtocol(*record);
  EXPECT_FALSE(record->FileOpen);
  EXPECT_EQ(record->FileBuffer, nullptr);
  EXPECT_EQ(record->WorkFile.fd, -1);
}

// The dispatch-log entries of the last FinishProtocol calls, as (kind, text).
std::vector<std::pair<int, std::string>> FinishEntries(TQorBaseDispatcher& d) {
  std::vector<std::pair<int, std::string>> entries;
  while (std::unique_ptr<TIOBuffer> item = d.LogQueue().Pop()) {
    auto* entry = dynamic_cast<TLogBuffer*>(item.get());
    if (entry == nullptr) continue;
    std::string text(entry->Data.begin(), entry->Data.end());
    if (text.starts_with("ErrorCode:")) {
      EXPECT_EQ(entry->SubKind, dlsStatus);
      entries.emplace_back(entry->Kind, text);
    }
  }
  return entries;
}

TEST(FinishProtocol, LogsTheCodeUnderTheProtocolsKind) {
  MemoryPort port;
  port.Port().Dispatcher()->StartLog(100000);
  const std::pair<std::int32_t, int> kinds[] = {
      {ptNoProtocol, 0}, {ptXmodem, 12}, {ptXmodem1KG, 12}, {ptYmodem, 13}, {ptYmodemG, 13},
      {ptZmodem, 14},    {ptKermit, 15}, {ptAscii, 16},     {10, 17},      {11, 0}};
  std::vector<std::pair<int, std::string>> expected;
  for (auto [type, kind] : kinds) {
    auto record = NewRecord(&port.Port());
    record->ProtocolType = type;
    record->ProtocolStatus = psCancelRequested;
    FinishProtocol(*record);
    expected.emplace_back(kind, "ErrorCode:-6005");
  }
  EXPECT_EQ(FinishEntries(*port.Port().Dispatcher()), expected);
}

}  // namespace
}  // namespace qor::testing
