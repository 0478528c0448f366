// The default routines that read the file being sent, through an 8192-byte
// buffer so that engines can ask for small blocks cheaply.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "protocols/core/packed_date.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

std::uint8_t g_PadByte = 0x1A;

namespace {

// Why the open file cannot be sent, as a negated error number; 0 when it can.
std::int32_t CheckSendable(int fd, struct stat& st) {
  // An unknown length would send the file as empty.
  if (::fstat(fd, &st) != 0) return -errno;
  if (S_ISDIR(st.st_mode)) return -EISDIR;
  // Offsets are 32-bit: a larger file would be sent wrapped.
  if (st.st_size > std::numeric_limits<std::int32_t>::max()) return -EFBIG;
  return 0;
}

}  // namespace

void PrepareReading(TProtocolData& data) {
  if (data.FileOpen) return;
  data.ProtocolError = 0;
  if (data.PathName[0] == '\0') {
    ReportProtocolError(data, -2);
    return;
  }
  // No share lock exists to keep writers out while the file is sent.
  const int fd = ::open(data.PathName.data(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ReportProtocolError(data, -errno);
    return;
  }
  struct stat st {};
  const std::int32_t refused = CheckSendable(fd, st);
  data.WorkFile.fd = fd;
  if (refused != 0) {
    CloseWorkFile(data);
    ReportProtocolError(data, refused);
    return;
  }
  data.FileBuffer = std::make_unique<std::uint8_t[]>(kFileBufferSize);
  data.WorkFile.name = data.PathName.data();
  data.FileLength = static_cast<std::int32_t>(st.st_size);
  data.RemainingCount = data.FileLength;
  data.StatusProc(data, kStatusPlain);
  data.FileDate = PackedLocalTime(st.st_mtime);
  data.FileOffset = 0;
  data.BufferStart = 0;
  data.BufferEnd = 0;
  data.LastOffset = 0;
  data.ReadAtEnd = false;
  data.FileOpen = true;
}

bool ReadFileBlock(TProtocolData& data, std::uint8_t* dest, std::int32_t& count) {
  if (!data.FileOpen) {
    count = 0;
    ReportProtocolError(data, -103);
    return true;
  }
  // Never more than the buffer holds.
  count = std::clamp(count, 0, kFileBufferSize);
  const std::int64_t offset = data.FileOffset;
  if (offset >= data.FileLength) {
    count = 0;
    return true;
  }
  if (offset > data.BufferEnd) data.BufferEnd = data.FileOffset;
  if (offset < data.LastOffset) data.BufferEnd = data.FileOffset;  // a resend: read again

  std::uint8_t* const buffer = data.FileBuffer.get();
  if (offset + count > data.BufferEnd) {
    // Keep what the buffer holds from offset on. Once the end was read, the
    // buffer beyond EndOffset is padding, not file data.
    const std::int64_t held_end =
        data.ReadAtEnd ? std::min<std::int64_t>(data.EndOffset, data.BufferEnd) : data.BufferEnd;
    const std::int64_t keep = std::max<std::int64_t>(0, held_end - offset);
    if (keep > 0) std::memmove(buffer, buffer + (offset - data.BufferStart), keep);
    const std::int64_t got = ReadAt(data.WorkFile.fd, buffer + keep, kFileBufferSize - keep,
                                    offset + keep);
    if (got < 0) {
      ReportProtocolError(data, static_cast<std::int32_t>(got));
      count = 0;
      return true;
    }
    data.BufferStart = data.FileOffset;
    data.BufferEnd = data.FileOffset + kFileBufferSize;
    const std::int64_t filled = keep + got;
    data.ReadAtEnd = filled < kFileBufferSize;
    if (data.ReadAtEnd) {
      data.EndOffset = static_cast<std::int32_t>(offset + filled);
      std::memset(buffer + filled, g_PadByte, static_cast<std::size_t>(kFileBufferSize - filled));
    }
  }

  // The last block is cut at the end of the data: padding is never handed out.
  const bool last = data.ReadAtEnd && offset + count >= data.EndOffset;
  if (last) count = static_cast<std::int32_t>(std::max<std::int64_t>(0, data.EndOffset - offset));
  if (count > 0) std::memcpy(dest, buffer + (offset - data.BufferStart), static_cast<std::size_t>(count));
  data.LastOffset = data.FileOffset;
  return last;
}

void FinishReading(TProtocolData& data) {
  if (data.FileOpen) CloseWorkFile(data);
}

}  // namespace qor
