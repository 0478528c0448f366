// Reading an image's first line and its signature, without the window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string_view>

#include <unistd.h>

#include "app/image/image_file.hpp"

namespace qor::testing {
namespace {

using namespace std::string_view_literals;

std::string WriteTemp(std::string_view bytes) {
  // One file per test process: CTest runs several at once.
  const std::string path = ::testing::TempDir() + "image_file_test_" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

struct LineCase {
  std::string_view file;
  std::string_view line;
};

class FirstLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(FirstLine, EndsAsATextLineDoes) {
  const std::optional<std::string> line = app::ReadImageFirstLine(WriteTemp(GetParam().file));
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(*line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirstLine,
    ::testing::Values(LineCase{"abc\ndef"sv, "abc"sv}, LineCase{"abc\r\ndef"sv, "abc"sv},
                      LineCase{"ab\rc\nd"sv, "abc"sv},         // a lone CR is dropped
                      LineCase{"ab\r\r\nc"sv, "ab"sv},         // the second CR ends it with the LF
                      LineCase{"ab\032cd"sv, "ab"sv},          // Ctrl-Z ends the text
                      LineCase{"\x00R\x00"sv, "\x00R\x00"sv},  // zero bytes are characters
                      LineCase{""sv, ""sv},
                      LineCase{std::string_view("0123456789012345678901234567890123456789"
                                                "0123456789012345678901234567890123456789XYZ"),
                               std::string_view("0123456789012345678901234567890123456789"
                                                "0123456789012345678901234567890123456789")}));

TEST(FirstLine, NothingWhenTheFileCannotBeRead) {
  EXPECT_FALSE(app::ReadImageFirstLine(::testing::TempDir() + "no-such-image.bin"));
  EXPECT_FALSE(app::ReadImageFirstLine(::testing::TempDir()));  // a folder
}

struct SignatureCase {
  std::string_view line;
  std::optional<std::string> text;
};

class Signature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(Signature, FiveBytesInDecimal) {
  EXPECT_EQ(app::SignatureText(std::string(GetParam().line)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Signature,
    ::testing::Values(SignatureCase{"\x00\x52\x50\x4F\x00tail"sv, app::kKernelSignature},
                      SignatureCase{"\x28\xCD\x3D\x45\x00"sv, app::kRootFsSignature},
                      SignatureCase{"\xFF\x01\x02\x03\x04"sv, "255 1 2 3 4 "},
                      SignatureCase{"\x00RPO"sv, std::nullopt}));

TEST(CheckImage, AcceptsOnlyTheKindAskedFor) {
  using enum app::TImageCheck;
  const std::string kernel = WriteTemp("\x00\x52\x50\x4F\x00 kernel\n"sv);
  EXPECT_EQ(app::CheckImage(kernel, true), Matches);
  EXPECT_EQ(app::CheckImage(kernel, false), WrongKind);
  const std::string rootfs = WriteTemp("\x28\xCD\x3D\x45\x00\x1A"sv);
  EXPECT_EQ(app::CheckImage(rootfs, false), Matches);
  EXPECT_EQ(app::CheckImage(rootfs, true), WrongKind);
  const std::string broken = WriteTemp("\x00\x52\n\x50\x4F\x00"sv);  // the line ends early
  EXPECT_EQ(app::CheckImage(broken, true), WrongKind);
  EXPECT_EQ(app::CheckImage(::testing::TempDir() + "no-such-image.bin", true), Unreadable);
}

TEST(ImageFileSize, IsTheSizeOrMinusOne) {
  EXPECT_EQ(app::GetImageFileSize(WriteTemp(std::string(1234, 'x'))), 1234);
  EXPECT_EQ(app::GetImageFileSize(::testing::TempDir() + "no-such-image.bin"), -1);
}

}  // namespace
}  // namespace qor::testing
