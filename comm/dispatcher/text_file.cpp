#include "comm/dispatcher/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qor {

namespace {

constexpr std::size_t kFlushSize = 64 * 1024;

// Whether the file's last byte is something other than a line feed; a file
// that cannot be read is taken as ending with a whole line.
bool EndsInsideLine(const std::string& name, off_t size) {
  if (size == 0) return false;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char last = '\n';
  const bool read = ::pread(fd, &last, 1, size - 1) == 1;
  ::close(fd);
  return read && last != '\n';
}

}  // namespace

TTextFile::~TTextFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::int32_t TTextFile::Open(const std::string& name, bool append) {
  const int mode = append ? O_APPEND : O_TRUNC;
  fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
  if (fd_ < 0) return -errno;
  struct stat info {};
  if (append && ::fstat(fd_, &info) == 0 && EndsInsideLine(name, info.st_size)) EndLine();
  return 0;
}

void TTextFile::Write(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() >= kFlushSize) Flush();
}

void TTextFile::Flush() {
  std::size_t done = 0;
  while (error_ == 0 && done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
  buffer_.clear();
}

std::int32_t TTextFile::Close() {
  Flush();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return -error_;
}

}  // namespace qor
