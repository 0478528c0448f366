#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "comm/errors/error_text.hpp"
#include "comm/errors/message_table.hpp"

namespace qor {
namespace {

TEST(MessageTable, SortedByAbsoluteCodeWithUniqueMagnitudes) {
  ASSERT_EQ(kMessageTable.size(), 897u);
  for (std::size_t i = 1; i < kMessageTable.size(); ++i) {
    EXPECT_LT(std::abs(kMessageTable[i - 1].code), std::abs(kMessageTable[i].code))
        << "rows " << i - 1 << " and " << i;
  }
  for (const MessageRow& row : kMessageTable) {
    ASSERT_NE(row.text, nullptr);
    EXPECT_LE(std::strlen(row.text), kMaxErrorTextLength) << row.code;
  }
}

TEST(MessageTable, EveryRowIsFoundByTheSearch) {
  for (std::size_t i = 0; i < kMessageTable.size(); ++i) {
    EXPECT_EQ(FindMessageRow(kMessageTable[i].code), static_cast<int>(i));
    EXPECT_EQ(FindMessageRow(-kMessageTable[i].code), static_cast<int>(i));
  }
}

struct TextCase {
  std::int32_t code;
  const char* text;
};

TEST(ErrorText, TableTextsExactByEitherSign) {
  const TextCase cases[] = {
      {0, "OK"},
      {-2, "File not found"},
      {2, "File not found"},
      {5001, "No more trigger slots"},
      {-5001, "No more trigger slots"},
      {-5003, "Bad trigger handle"},
      {4707, "File skipped "},                          // trailing blank kept
      {4711, "Duplicate block received and ignored "},  // trailing blank kept
      {-13868, "No memory"},
      {-2001, "ie_BadId - Specified comport doesn't exist"},
      {15501, "Time      Type      SubType       Data      OtherData"},
      {15742, "Character Set"},
      {-13980, "Failed to find/load RASAPI32.DLL"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

TEST(ErrorText, UnknownCodeFallsBackToTheSystemText) {
  // 1 is not in the table; the system knows it (EPERM).
  ASSERT_EQ(FindMessageRow(1), -1);
  const std::string text = ErrorText(-1);
  EXPECT_EQ(text, strerrordesc_np(1));
  // Nothing in the table and nothing the system knows.
  EXPECT_EQ(ErrorText(1450), "");
  EXPECT_EQ(ErrorText(INT32_MIN), "");
}

TEST(ErrorText, BufferVariantTruncatesAndTerminates) {
  char small[5];
  ErrorTextToBuffer(-2, small, sizeof small);
  EXPECT_STREQ(small, "File");
  char big[64];
  ErrorTextToBuffer(-5003, big, sizeof big);
  EXPECT_STREQ(big, "Bad trigger handle");
}

}  // namespace
}  // namespace qor
