// The default next-file search over SearchMask.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

class MaskSearchTest : public ::testing::Test {
 protected:
  MaskSearchTest() {
    for (const char* name : {"b.bin", "a.bin", "c.txt", "noext", ".hidden.bin"}) dir.Write(name, "x");
    std::filesystem::create_directory(dir.Path("sub.bin"));  // directories are never sent
  }
  void Mask(const std::string& mask) {
    std::snprintf(record->SearchMask.data(), kPathSize, "%s", mask.c_str());
    record->FirstFind = true;
  }
  // Every name the search hands out, until it says no more.
  std::vector<std::string> Batch() {
    std::vector<std::string> names;
    char name[kPathSize] = "stale";
    while (NextFileFromMask(*record, name) && names.size() < 100) names.emplace_back(name);
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(record->Searching);
    return names;
  }

  TempDir dir;
  ReportWindow window;
  std::unique_ptr<TProtocolData> record = NewRecord(nullptr, window.Handle());
};

TEST_F(MaskSearchTest, BatchRunsOutWithoutAnError) {
  Mask(dir.Path("*.bin"));
  EXPECT_EQ(Batch(), (std::vector<std::string>{dir.Path(".hidden.bin"), dir.Path("a.bin"),
                                               dir.Path("b.bin")}));
  EXPECT_EQ(record->ProtocolError, 0);
  EXPECT_EQ(window.Count(kMsgProtocolError), 0u);
}

TEST_F(MaskSearchTest, StarDotStarMeansEveryFile) {
  Mask(dir.Path("*.*"));
  EXPECT_EQ(Batch().size(), 5u);
}

TEST_F(MaskSearchTest, BackslashSeparatesTheDirectoryToo) {
  Mask(dir.Root() + "\\a.*");
  EXPECT_EQ(Batch(), std::vector<std::string>{dir.Path("a.bin")});
}

TEST_F(MaskSearchTest, MaskNamingAFileIsThatFileEvenWithPatternCharacters) {
  dir.Write("image[1].bin", "x");
  dir.Write("image1.bin", "x");
  Mask(dir.Path("image[1].bin"));
  EXPECT_EQ(Batch(), std::vector<std::string>{dir.Path("image[1].bin")});
}

TEST_F(MaskSearchTest, ErrorsOfTheMask) {
  struct Case {
    std::string mask;
    std::int32_t code;
  };
  const Case cases[] = {
      {"", -6002},
      {dir.Path("missing/*.bin"), -6004},
      {dir.Path("*.zip"), -6003},
      {dir.Path("sub.*"), -6003},  // only a directory matches
  };
  for (const Case& c : cases) {
    Mask(c.mask);
    EXPECT_EQ(Batch(), std::vector<std::string>{}) << c.mask;
    EXPECT_EQ(record->ProtocolError, c.code) << c.mask;
  }
}

TEST_F(MaskSearchTest, NameTooLongForTheRecordIsAnError) {
  // A cut name would send another file, or none.
  dir.Write(std::string(250, 'n') + ".bin", "x");
  Mask(dir.Path("n*"));
  EXPECT_EQ(Batch(), std::vector<std::string>{});
  EXPECT_EQ(record->ProtocolError, -ENAMETOOLONG);
}

TEST_F(MaskSearchTest, FinishProtocolClosesAnOpenSearch) {
  Mask(dir.Path("*.bin"));
  char name[kPathSize];
  ASSERT_TRUE(NextFileFromMask(*record, name));
  EXPECT_TRUE(record->Searching);
  FinishProtocol(*record);
  EXPECT_FALSE(record->Searching);
}

}  // namespace
}  // namespace qor::testing
