// Writing the received file: blocks, resends, existing files, full disks.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

class WritingTest : public ::testing::Test {
 protected:
  WritingTest() { std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Path("in.bin").c_str()); }

  // One engine step: write bytes at FileOffset, then move past them.
  bool Put(const std::string& bytes) {
    const bool stop = WriteFileBlock(*record, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     static_cast<std::int32_t>(bytes.size()));
    record->FileOffset += static_cast<std::int32_t>(bytes.size());
    return stop;
  }

  TempDir dir;
  ReportWindow window;
  std::unique_ptr<TProtocolData> record = NewRecord(nullptr, window.Handle());
};

TEST_F(WritingTest, BlocksOfAnySizeMakeTheFile) {
  const std::string data = Pattern(40000);
  const std::size_t sizes[] = {1000, 1024, 8192, 10000, 94};
  PrepareWriting(*record);
  ASSERT_TRUE(record->FileOpen);
  std::size_t at = 0;
  for (std::size_t i = 0; at < data.size(); ++i) {
    const std::size_t n = std::min(sizes[i % std::size(sizes)], data.size() - at);
    EXPECT_FALSE(Put(data.substr(at, n)));
    at += n;
  }
  FinishWriting(*record);
  EXPECT_FALSE(record->FileOpen);
  EXPECT_EQ(record->ProtocolError, 0);
  EXPECT_EQ(dir.Read("in.bin"), data);
  EXPECT_EQ(record->FileLength, 40000);
  EXPECT_NEAR(static_cast<double>(FileDateToUnixSeconds(record->FileDate)),
              static_cast<double>(CurrentUnixSeconds()), 3.0);
}

TEST_F(WritingTest, GoingBackRewritesFromThereOn) {
  const std::string a = Pattern(12000, 1);
  const std::string b = Pattern(12000, 2);
  const std::string c = Pattern(12000, 3);
  auto send_from = [this](const std::string& bytes, std::int32_t from) {
    record->FileOffset = from;
    for (std::int32_t at = from; at < 12000; at += 1000) {
      EXPECT_FALSE(Put(bytes.substr(static_cast<std::size_t>(at), 1000)));
    }
  };
  PrepareWriting(*record);
  for (std::int32_t at = 0; at < 3000; at += 1000) Put(a.substr(static_cast<std::size_t>(at), 1000));
  send_from(b, 1000);  // back into the buffer, then on well past it
  send_from(c, 500);   // back before the buffer
  FinishWriting(*record);
  EXPECT_EQ(record->ProtocolError, 0);
  EXPECT_EQ(dir.Read("in.bin"), a.substr(0, 500) + c.substr(500));
}

TEST_F(WritingTest, ExistingFileUnderEachAction) {
  struct Case {
    TWriteFailAction action;
    const char* written_as;
  };
  const Case cases[] = {
      {wfWriteRename, "$n.bin"},
      {wfWriteNone, "in.bin"},
      {wfWriteAnyway, "in.bin"},
      {wfWriteResume, "in.bin"},
  };
  for (const Case& c : cases) {
    dir.Write("in.bin", "old contents");
    std::filesystem::remove(dir.Path("$n.bin"));
    std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Path("in.bin").c_str());
    record->WriteFailAction = c.action;
    record->FileOffset = 0;
    PrepareWriting(*record);
    EXPECT_STREQ(record->PathName.data(), dir.Path(c.written_as).c_str());
    Put("new");
    FinishWriting(*record);
    EXPECT_EQ(dir.Read(c.written_as), "new") << c.action;
    if (c.action == wfWriteRename) {
      EXPECT_EQ(dir.Read("in.bin"), "old contents");
    }
  }
  EXPECT_EQ(window.Count(kMsgProtocolError), 0u);
}

TEST_F(WritingTest, RefusedOverwriteIsAStatusThenAFinishCode) {
  dir.Write("in.bin", "keep me");
  record->WriteFailAction = wfWriteFail;
  PrepareWriting(*record);
  EXPECT_EQ(record->ProtocolStatus, psCantWriteFile);
  EXPECT_TRUE(record->ForceStatus);
  EXPECT_EQ(record->ProtocolError, 0);
  EXPECT_FALSE(record->FileOpen);
  EXPECT_EQ(record->FileBuffer, nullptr);
  EXPECT_EQ(window.Count(kMsgProtocolError), 0u);
  FinishProtocol(*record);
  EXPECT_EQ(window.AwaitFinish(), -6012);
  EXPECT_EQ(dir.Read("in.bin"), "keep me");
}

TEST_F(WritingTest, RefusedOverwriteDoesNotApplyToANewFile) {
  record->WriteFailAction = wfWriteFail;
  PrepareWriting(*record);
  EXPECT_TRUE(record->FileOpen);
  EXPECT_EQ(record->ProtocolStatus, psOK);
}

TEST_F(WritingTest, FailuresAreReportedAndStop) {
  std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Path("no/such/dir.bin").c_str());
  PrepareWriting(*record);
  EXPECT_EQ(record->ProtocolError, -ENOENT);
  EXPECT_FALSE(record->FileOpen);
  EXPECT_TRUE(Put("x"));
  EXPECT_EQ(record->ProtocolError, -103);
  EXPECT_EQ(window.Codes(kMsgProtocolError), (std::vector<std::int32_t>{-ENOENT, -103}));
}

TEST_F(WritingTest, FullDiskIsAShortWrite) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::snprintf(record->PathName.data(), kPathSize, "/dev/full");
  record->WriteFailAction = wfWriteAnyway;
  PrepareWriting(*record);
  ASSERT_TRUE(record->FileOpen);
  EXPECT_FALSE(Put(Pattern(8000)));  // held in the buffer
  EXPECT_TRUE(Put(Pattern(1000)));   // does not fit: the held bytes go out
  EXPECT_EQ(record->ProtocolError, -101);
  FinishWriting(*record);
  EXPECT_EQ(record->ProtocolError, -101);
  EXPECT_FALSE(record->FileOpen);
}

}  // namespace
}  // namespace qor::testing
