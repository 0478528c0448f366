#include "protocols/core/work_file.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qor {

std::int64_t ReadAt(int fd, std::uint8_t* buffer, std::int64_t size, std::int64_t offset) {
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, buffer + done, static_cast<std::size_t>(size - done),
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t WriteAt(int fd, const std::uint8_t* buffer, std::int64_t size, std::int64_t offset) {
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, buffer + done, static_cast<std::size_t>(size - done),
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == ENOSPC) break;  // reported as a short write
    if (n < 0) return -errno;
    if (n == 0) break;
    done += n;
  }
  return done;
}

void CloseWorkFile(TProtocolData& data) {
  if (data.WorkFile.fd >= 0) ::close(data.WorkFile.fd);
  data.WorkFile.fd = -1;
  data.FileBuffer.reset();
  data.FileOpen = false;
}

void CopyName(char* buffer, std::string_view text) {
  const std::size_t n = std::min(text.size(), kPathSize - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace qor
