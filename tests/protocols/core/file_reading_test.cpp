// Reading the file being sent: block by block, to the exact end, resends.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

class ReadingTest : public ::testing::Test {
 protected:
  // Opens a file holding bytes for sending.
  void Open(const std::string& bytes) {
    content = bytes;
    std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Write("send.bin", bytes).c_str());
    PrepareReading(*record);
    ASSERT_EQ(record->ProtocolError, 0);
    ASSERT_TRUE(record->FileOpen);
  }
  // One engine step: ask for count bytes at FileOffset, then move past them.
  std::string Next(std::int32_t count, bool& stop) {
    std::vector<std::uint8_t> dest(static_cast<std::size_t>(count) + 16, 0x55);
    std::int32_t got = count;
    stop = ReadFileBlock(*record, dest.data(), got);
    record->FileOffset += got;
    // Nothing beyond what was handed out is touched.
    for (std::size_t i = static_cast<std::size_t>(got); i < dest.size(); ++i) {
      EXPECT_EQ(dest[i], 0x55) << "byte " << i << " past a block of " << got;
    }
    return {dest.begin(), dest.begin() + got};
  }
  std::string At(std::int32_t offset, std::int32_t count, bool& stop) {
    record->FileOffset = offset;
    return Next(count, stop);
  }

  TempDir dir;
  std::unique_ptr<TProtocolData> record = NewRecord();
  std::string content;
};

TEST_F(ReadingTest, PrepareLearnsLengthAndDate) {
  Open(Pattern(5000));
  EXPECT_EQ(record->FileLength, 5000);
  EXPECT_EQ(record->RemainingCount, 5000);
  struct stat st {};
  ASSERT_EQ(::stat(record->PathName.data(), &st), 0);
  std::tm local{};
  ::localtime_r(&st.st_mtime, &local);
  EXPECT_EQ(FileDateToUnixSeconds(record->FileDate) / 2,
            (static_cast<std::int64_t>(st.st_mtime) + local.tm_gmtoff) / 2);
}

TEST_F(ReadingTest, FileOfExactlyTheBufferSizeIn1024ByteBlocks) {
  Open(Pattern(8192));
  std::string sent;
  bool stop = false;
  for (int i = 0; i < 8; ++i) {
    sent += Next(1024, stop);
    EXPECT_FALSE(stop) << "block " << i;
    EXPECT_FALSE(record->ReadAtEnd);
  }
  EXPECT_EQ(sent, content);
  const std::string ninth = Next(1024, stop);
  EXPECT_TRUE(stop);
  EXPECT_EQ(ninth, "");
}

TEST_F(ReadingTest, ShortFileGivesItsTrueLengthAndNeverThePadding) {
  Open(Pattern(100));
  bool stop = false;
  EXPECT_EQ(Next(1024, stop), content);
  EXPECT_TRUE(stop);
}

TEST_F(ReadingTest, EveryBlockSizeReadsEveryLengthExactly) {
  const std::int32_t sizes[] = {1, 94, 1000, 1024, 4096, 8192};
  const std::size_t lengths[] = {0, 1, 1023, 8191, 8192, 8193, 20000};
  for (std::size_t length : lengths) {
    for (std::int32_t size : sizes) {
      FinishReading(*record);
      Open(Pattern(length, static_cast<unsigned>(size)));
      std::string sent;
      bool stop = false;
      for (int guard = 0; !stop && guard < 30000; ++guard) sent += Next(size, stop);
      EXPECT_TRUE(stop);
      EXPECT_EQ(sent, content) << length << " bytes in blocks of " << size;
    }
  }
}

TEST_F(ReadingTest, ResendReadsTheFileAgain) {
  Open(Pattern(3000));
  bool stop = false;
  const std::string first = Next(1024, stop);
  Next(1024, stop);
  // The file changes under the buffer: a resend must see the file, not the buffer.
  const int fd = ::open(record->PathName.data(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "ZZZZ", 4, 0), 4);
  ::close(fd);
  const std::string again = At(0, 1024, stop);
  EXPECT_FALSE(stop);
  EXPECT_EQ(again, "ZZZZ" + first.substr(4));
}

TEST_F(ReadingTest, LargeBlockPastABufferHoldingTheEndStopsAtTheEnd) {
  Open(Pattern(9000));
  bool stop = false;
  std::string sent;
  while (!stop) sent += Next(1000, stop);  // the second buffer holds the end
  EXPECT_EQ(sent, content);
  // A larger block that reaches past the buffer gets the file's bytes only.
  EXPECT_EQ(At(8500, 8192, stop), content.substr(8500));
  EXPECT_TRUE(stop);
}

TEST_F(ReadingTest, BlocksAreCappedAtTheBufferSize) {
  Open(Pattern(20000));
  bool stop = false;
  EXPECT_EQ(Next(10000, stop), content.substr(0, kFileBufferSize));
  EXPECT_FALSE(stop);
}

TEST(Reading, OpenFailuresAreReported) {
  TempDir dir;
  // Past 2 GiB the 32-bit offsets would wrap; the file is sparse.
  std::filesystem::resize_file(dir.Write("huge.bin", ""), 0x80000000u);
  struct Case {
    std::string path;
    std::int32_t code;
  };
  const Case cases[] = {
      {"", -2},
      {dir.Path("missing.bin"), -ENOENT},
      {dir.Root(), -EISDIR},
      {dir.Path("huge.bin"), -EFBIG},
  };
  for (const Case& c : cases) {
    ReportWindow window;
    auto record = NewRecord(nullptr, window.Handle());
    std::snprintf(record->PathName.data(), kPathSize, "%s", c.path.c_str());
    PrepareReading(*record);
    EXPECT_EQ(record->ProtocolError, c.code) << c.path;
    EXPECT_EQ(window.Codes(kMsgProtocolError), std::vector<std::int32_t>{c.code});
    EXPECT_FALSE(record->FileOpen);
    EXPECT_EQ(record->FileBuffer, nullptr);
  }
}

TEST(Reading, ReadWithoutAnOpenFileStops) {
  auto record = NewRecord();
  std::uint8_t dest[16];
  std::int32_t count = 16;
  EXPECT_TRUE(ReadFileBlock(*record, dest, count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(record->ProtocolError, -103);
}

TEST(Reading, OpeningReportsStatusAndFinishingCloses) {
  TempDir dir;
  ReportWindow window;
  auto record = NewRecord(nullptr, window.Handle());
  std::snprintf(record->PathName.data(), kPathSize, "%s", dir.Write("a.bin", "abc").c_str());
  PrepareReading(*record);
  EXPECT_EQ(window.Codes(kMsgProtocolStatus), std::vector<std::int32_t>{0});
  const int fd = record->WorkFile.fd;
  PrepareReading(*record);  // already open: nothing happens
  EXPECT_EQ(record->WorkFile.fd, fd);
  FinishReading(*record);
  EXPECT_FALSE(record->FileOpen);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // the descriptor is closed
}

}  // namespace
}  // namespace qor::testing
