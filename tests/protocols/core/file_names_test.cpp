// Where a file name goes, and what its name part is.
#include <cstdio>
#include <string>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

TEST(SetPathName, PlacesBareNamesInTheDestinationDirectory) {
  struct Case {
    const char* directory;
    const char* name;
    const char* path;
  };
  const Case cases[] = {
      {"/in", "DATA.BIN", "/in/DATA.BIN"},
      {"/in/", "DATA.BIN", "/in/DATA.BIN"},
      {"", "DATA.BIN", "DATA.BIN"},  // stays relative, not in the root directory
      {"/in", "sub/DATA.BIN", "sub/DATA.BIN"},
      {"/in", "C:\\IN\\DATA.BIN", "C:\\IN\\DATA.BIN"},
  };
  for (const Case& c : cases) {
    auto record = NewRecord();
    std::snprintf(record->DestinationDirectory.data(), kPathSize, "%s", c.directory);
    SetPathName(*record, c.name);
    EXPECT_STREQ(record->PathName.data(), c.path) << c.directory << " + " << c.name;
  }
}

TEST(SetPathName, CutsAtTheRecordsNameSize) {
  auto record = NewRecord();
  std::snprintf(record->DestinationDirectory.data(), kPathSize, "/in");
  SetPathName(*record, std::string(300, 'x'));
  EXPECT_EQ(std::string(record->PathName.data()), "/in/" + std::string(251, 'x'));
}

TEST(JustFileName, TakesWhatFollowsTheLastSeparator) {
  EXPECT_EQ(JustFileName("C:\\IN\\DATA.BIN"), "DATA.BIN");
  EXPECT_EQ(JustFileName("/tmp/in/data.bin"), "data.bin");
  EXPECT_EQ(JustFileName("A:DATA.BIN"), "DATA.BIN");
  EXPECT_EQ(JustFileName("dir\\sub/data.bin"), "data.bin");
  EXPECT_EQ(JustFileName("data.bin"), "data.bin");
  EXPECT_EQ(JustFileName("dir/"), "");
}

}  // namespace
}  // namespace qor::testing
