#include "app/image/image_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qor::app {

namespace {

constexpr std::size_t kMaxLineLength = 80;
constexpr char kCtrlZ = 26;

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::optional<std::string> ReadImageFirstLine(const std::string& path) {
  ReadOnlyFile file(path);
  if (file.fd() < 0) return std::nullopt;
  std::string line;
  char buffer[256];
  bool after_cr = false;
  for (;;) {
    const ssize_t got = ::read(file.fd(), buffer, sizeof buffer);
    if (got < 0) return std::nullopt;  // a directory, for one
    if (got == 0) return line;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (after_cr) {
        after_cr = false;
        if (c == '\n') return line;  // CR LF ends the line
      }
      if (c == '\n' || c == kCtrlZ) return line;
      if (c == '\r') {
        after_cr = true;  // dropped unless an LF follows
        continue;
      }
      line.push_back(c);
      if (line.size() == kMaxLineLength) return line;
    }
  }
}

std::optional<std::string> SignatureText(const std::string& line) {
  if (line.size() < 5) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < 5; ++i) {
    text += std::to_string(static_cast<unsigned char>(line[i]));
    text += ' ';
  }
  return text;
}

TImageCheck CheckImage(const std::string& path, bool kernel) {
  const std::optional<std::string> line = ReadImageFirstLine(path);
  if (!line) return TImageCheck::Unreadable;
  const std::optional<std::string> signature = SignatureText(*line);
  const bool matches = signature && *signature == (kernel ? kKernelSignature : kRootFsSignature);
  return matches ? TImageCheck::Matches : TImageCheck::WrongKind;
}

std::int32_t GetImageFileSize(const std::string& path) {
  ReadOnlyFile file(path);
  struct stat info {};
  if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0) return -1;
  return static_cast<std::int32_t>(info.st_size);
}

}  // namespace qor::app
