// Where a received name may be stored: hostile names stay inside the
// destination directory or are refused.
#include <gtest/gtest.h>

#include <string>

#include "protocols/core/safe_names.hpp"

namespace qor {
namespace {

constexpr char kRefused[] = "<refused>";

struct NameCase {
  std::string received;
  bool honor_directory;
  std::string expected;  // the path, or kRefused
};

TEST(SafeNames, HostileNamesStayInsideTheDestination) {
  const NameCase cases[] = {
      // Name part only.
      {"NAME.BIN", false, "/in/NAME.BIN"},
      {"C:\\OUT\\NAME.BIN", false, "/in/NAME.BIN"},
      {"../../etc/passwd", false, "/in/passwd"},
      {"/etc/passwd", false, "/in/passwd"},
      {"DEV:x.bin", false, "/in/x.bin"},
      {"...", false, "/in/..."},
      {"..", false, kRefused},
      {".", false, kRefused},
      {"", false, kRefused},
      {"dir/", false, kRefused},
      {"a/..", false, kRefused},
      {"x:..", false, kRefused},
      // Directories honoured, but never above the destination.
      {"sub/file", true, "/in/sub/file"},
      {"sub\\deeper\\file", true, "/in/sub/deeper/file"},
      {"./a//b", true, "/in/a/b"},
      {"a/../b", true, "/in/b"},
      {"../x", true, kRefused},
      {"a/../../x", true, kRefused},
      {"..\\x", true, kRefused},
      {"/abs/x", true, kRefused},
      {"\\abs\\x", true, kRefused},
      {"C:\\OUT\\NAME.BIN", true, kRefused},
      {"c:x", true, kRefused},
      {"sub/", true, kRefused},
      {"sub/.", true, kRefused},
      {"sub/..", true, kRefused},
      {"", true, kRefused},
      // Control characters become '_', a NUL included.
      {"ev\x1b[2Jil", false, "/in/ev_[2Jil"},
      {std::string("a\0b", 3), false, "/in/a_b"},
      {"tab\there\x7f", true, "/in/tab_here_"},
      // Too long for a path: refused rather than cut to another name.
      {std::string(251, 'n'), false, "/in/" + std::string(251, 'n')},
      {std::string(252, 'n'), false, kRefused},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << '"' << PrintableName(c.received) << "\" honor "
                                      << c.honor_directory);
    const auto path = ReceivedFilePath("/in", c.received, c.honor_directory);
    EXPECT_EQ(path.value_or(kRefused), c.expected);
  }
}

TEST(SafeNames, DestinationSpellings) {
  EXPECT_EQ(ReceivedFilePath("", "../x", false).value_or(kRefused), "x");
  EXPECT_EQ(ReceivedFilePath("", "sub/x", true).value_or(kRefused), "sub/x");
  EXPECT_EQ(ReceivedFilePath("", "../x", true).value_or(kRefused), kRefused);
  EXPECT_EQ(ReceivedFilePath("/in/", "x", false).value_or(kRefused), "/in/x");
  EXPECT_EQ(ReceivedFilePath("rel/dir", "x", false).value_or(kRefused), "rel/dir/x");
}

}  // namespace
}  // namespace qor
