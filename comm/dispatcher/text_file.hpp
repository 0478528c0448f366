#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// A text file written through a buffer, with CR LF line ends (the diagnostic
// files keep the layout they have always had). Write errors are kept and
// reported by Close, so a dump never claims success it did not have.
class TTextFile {
 public:
  TTextFile() = default;
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  // Appends when asked (creating a missing file), else creates or replaces the
  // file; 0 or the negated error number. Appended text starts on a line of its
  // own even when the file ends inside a line.
  std::int32_t Open(const std::string& name, bool append);
  void Write(std::string_view text);
  void EndLine() { Write("\r\n"); }
  // 0, or the negated number of the first error of writing or closing.
  std::int32_t Close();

 private:
  void Flush();

  int fd_ = -1;
  int error_ = 0;
  std::string buffer_;
};

}  // namespace qor
