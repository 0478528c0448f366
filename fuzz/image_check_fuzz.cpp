// The image check over arbitrary file contents: the first line is the text's
// start with every CR dropped, ending at LF, Ctrl-Z, the end or 80 characters,
// and only the two signatures pass.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/image/image_file.hpp"

using namespace qor::app;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "image check: %s\n", what);
  std::abort();
}

// One scratch file for the process, removed at exit.
class Scratch {
 public:
  Scratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qor-fuzz-image-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp failed");
    dir_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string File() const { return (dir_ / "image.bin").string(); }

 private:
  std::filesystem::path dir_;
};

bool StartsWith(const std::string& line, std::string_view start) {
  return line.size() >= start.size() && line.compare(0, start.size(), start) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static Scratch scratch;
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  std::ofstream(scratch.File(), std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(size));

  const std::optional<std::string> line = ReadImageFirstLine(scratch.File());
  if (!line) Fail("a readable file gave no line");
  std::string stripped;
  for (const char c : text) {
    if (c != '\r') stripped.push_back(c);
  }
  if (line->size() > 80 || !StartsWith(stripped, *line)) Fail("the line is not the text's start");
  if (line->size() < 80 && line->size() < stripped.size()) {
    const char next = stripped[line->size()];
    if (next != '\n' && next != 26) Fail("the line ended early");
  }
  if (GetImageFileSize(scratch.File()) != static_cast<std::int32_t>(size)) Fail("wrong size");

  using namespace std::string_view_literals;
  const bool kernel = StartsWith(*line, "\x00\x52\x50\x4F\x00"sv);
  const bool rootfs = StartsWith(*line, "\x28\xCD\x3D\x45\x00"sv);
  if ((CheckImage(scratch.File(), true) == TImageCheck::Matches) != kernel) Fail("kernel check");
  if ((CheckImage(scratch.File(), false) == TImageCheck::Matches) != rootfs) Fail("rootfs check");
  return 0;
}
