// Ymodem's header block 0, built and read, and a received file settled to it.
#include "protocols/xymodem/ymodem_header.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "protocols/core/packed_date.hpp"
#include "protocols/xymodem/received_file.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"

namespace qor {
namespace {

std::string Text(const std::vector<std::uint8_t>& header) { return {header.begin(), header.end()}; }

TEST(Header, NameSizeAndDate) {
  // 2020-09-13 12:26:40 is 1600000000 seconds after 1970 (the machine's clock is local).
  const std::int32_t date = PackDateTime({2020, 9, 13, 12, 26, 40});
  const auto header = BuildYmodemHeader("/home/u/Dir\\Image.BIN", false, 1234, date);
  ASSERT_EQ(header.size(), 128u);
  EXPECT_EQ(Text(header).substr(0, 32), std::string("image.bin\0"
                                                    "1234 013727410000",
                                                    27) +
                                            std::string(5, '\0'));
  const TYmodemHeader back = ParseYmodemHeader(header.data(), 128);
  EXPECT_EQ(back.Name, "image.bin");
  EXPECT_EQ(back.Size, 1234);
  EXPECT_EQ(back.Seconds, 1600000000u);
  EXPECT_FALSE(back.BadDate);
}

TEST(Header, DirectoriesTravelWithForwardSlashes) {
  const auto header = BuildYmodemHeader("Dir\\Sub/F.TXT", true, 0, 0);
  EXPECT_EQ(Text(header).substr(0, 15), std::string("dir/sub/f.txt\0"
                                                    "0",
                                                    15));
  EXPECT_EQ(header[15], 0);  // no date
}

TEST(Header, ALongHeaderTakesA1KBlock) {
  // name + size + (space + date) + 2 above 128 gives 1024 bytes.
  const std::int32_t date = PackDateTime({2020, 1, 1, 0, 0, 0});
  EXPECT_EQ(BuildYmodemHeader(std::string(109, 'a'), false, 1000, date).size(), 128u);   // 128
  EXPECT_EQ(BuildYmodemHeader(std::string(110, 'a'), false, 1000, date).size(), 1024u);  // 129
  EXPECT_EQ(BuildYmodemHeader(std::string(122, 'a'), false, 1000, 0).size(), 128u);
  EXPECT_EQ(BuildYmodemHeader(std::string(123, 'a'), false, 1000, 0).size(), 1024u);
  const auto header = BuildYmodemHeader(std::string(255, 'b'), false, 7, 0);
  EXPECT_EQ(ParseYmodemHeader(header.data(), 1024).Name.size(), 253u);  // at most 253 taken
}

TEST(Header, WhatOtherSendersWrite) {
  struct Case {
    std::string text;
    const char* name;
    std::int32_t size;
    std::uint32_t seconds;
    bool bad_date;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"a.bin\0"
       "100 14054762020 100644 0 1 100"s,
       "a.bin", 100, 014054762020, false},
      {"a.bin\0"
       "100"s,
       "a.bin", 100, 0, false},
      {"a.bin\0"s, "a.bin", 0, 0, false},
      {"a.bin\0"
       "12x 5"s,
       "a.bin", 0, 5, false},
      {"a.bin\0"
       "9 0"s,
       "a.bin", 9, 0, false},
      {"a.bin\0"
       "9 1289"s,
       "a.bin", 9, 0, true},
      {"a.bin\0"
       "9 777777777777"s,
       "a.bin", 9, 0, true},
      {"a.bin\0"
       "99999999999 1"s,
       "a.bin", 0, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::uint8_t> block(128, 0);
    std::copy(c.text.begin(), c.text.end(), block.begin());
    const TYmodemHeader h = ParseYmodemHeader(block.data(), 128);
    EXPECT_EQ(h.Name, c.name);
    EXPECT_EQ(h.Size, c.size);
    EXPECT_EQ(h.Seconds, c.seconds);
    EXPECT_EQ(h.BadDate, c.bad_date);
  }
}

TEST(Header, TheEndOfABatchLooksAtTheFirst117Bytes) {
  std::vector<std::uint8_t> block(128, 0);
  EXPECT_TRUE(EndsBatch(block.data(), 128));
  block[120] = 'x';
  EXPECT_TRUE(EndsBatch(block.data(), 128));
  block[116] = 'x';
  EXPECT_FALSE(EndsBatch(block.data(), 128));
}

TEST(ReceivedFile, CutBackToItsSizeAndDated) {
  testing::TempDir dir;
  struct Case {
    std::size_t stored;
    std::int32_t announced;
    std::size_t kept;
  };
  const Case cases[] = {
      {1024, 300, 300},  // padding of the last block cut off
      {2048, 1025, 1025},
      {2048, 1024, 2048},  // a whole block more than announced: not padding, kept
      {1024, 0, 1024},     // no size announced
      {100, 300, 100},     // shorter than announced: nothing to cut
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const std::string path = dir.Write("f.bin", std::string(c.stored, 'x'));
    std::int64_t length = 0;
    ASSERT_EQ(SettleReceivedFile(path.c_str(), c.announced, 1600000000, length), 0);
    EXPECT_EQ(static_cast<std::size_t>(length), c.kept);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::size_t>(st.st_size), c.kept);
    std::tm local{};
    ::localtime_r(&st.st_mtime, &local);
    EXPECT_EQ(PackDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec}),
              PackDateTime({2020, 9, 13, 12, 26, 40}));
  }
  std::int64_t length = 0;
  EXPECT_EQ(SettleReceivedFile((dir.Path() / "missing").c_str(), 1, 0, length), -ENOENT);
}

}  // namespace
}  // namespace qor
