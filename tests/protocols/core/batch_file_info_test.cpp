// The file information of batch protocols, both ways.
#include <gtest/gtest.h>

#include <string>

#include "protocols/core/batch_file_info.hpp"

namespace qor {
namespace {

using namespace std::string_literals;

TEST(BatchFileInfo, BuiltAsPeersExpectIt) {
  EXPECT_EQ(BuildBatchFileInfo("dir\\a.bin", 1234, true, 8), "dir/a.bin\0"s "1234 000000000010\0"s);
  EXPECT_EQ(BuildBatchFileInfo("a.bin", 0, false, 0), "a.bin\0"s "0\0"s);
}

TEST(BatchFileInfo, ReadFromWhatPeersSend) {
  struct Case {
    std::string bytes;
    std::string name;
    std::int64_t size;
    bool dated;
    std::int64_t date;
  };
  const Case cases[] = {
      // lrzsz: size, date, mode, serial number, files and bytes left
      {"a.bin\0"s "100000 14733662335 100644 0 1 100000\0"s, "a.bin", 100000, true, 01473366233 * 8 + 5},
      {"b\0"s "77\0"s, "b", 77, false, 0},
      {"c\0"s, "c", 0, false, 0},
      {"d\0"s "12x 17\0"s, "d", 0, true, 15},  // a size that is no number
      {"e\0"s "5 99\0"s, "e", 5, false, 0},     // a date that is no octal number
      {"no terminator", "no terminator", 0, false, 0},
  };
  for (const Case& c : cases) {
    const TBatchFileInfo info = ParseBatchFileInfo(c.bytes, 254);
    EXPECT_EQ(info.Name, c.name);
    EXPECT_EQ(info.Size, c.size) << c.name;
    EXPECT_EQ(info.Dated, c.dated) << c.name;
    EXPECT_EQ(info.Date, c.date) << c.name;
  }
  EXPECT_EQ(ParseBatchFileInfo(std::string(300, 'n') + "\0"s "1\0"s, 254).Name.size(), 254u);
}

}  // namespace
}  // namespace qor
