// The default routines that write the file being received, through an
// 8192-byte buffer that is written out when a block does not fit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "protocols/core/packed_date.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

namespace {

// Replaces the first character of the name part, so that an existing file
// is kept under its own name.
void MarkRenamed(std::array<char, kPathSize>& path) {
  const std::string text = path.data();
  const std::size_t cut = text.find_last_of("/\\");
  const std::size_t first = cut == std::string::npos ? 0 : cut + 1;
  if (first < text.size()) path[first] = '$';
}

// Writes the bytes held from BufferStart up to upto (never past the last byte
// stored, never more than the buffer); true when it failed and was reported.
bool WriteHeld(TProtocolData& data, std::int64_t upto) {
  const std::int64_t size = std::clamp<std::int64_t>(
      std::min<std::int64_t>(upto, data.LastOffset) - data.BufferStart, 0, kFileBufferSize);
  if (size == 0) return false;
  const std::int64_t done = WriteAt(data.WorkFile.fd, data.FileBuffer.get(), size, data.BufferStart);
  if (done < 0) {
    ReportProtocolError(data, static_cast<std::int32_t>(done));
    return true;
  }
  if (done < size) {
    ReportProtocolError(data, -101);
    return true;
  }
  return false;
}

void StartBufferAt(TProtocolData& data, std::int64_t offset) {
  data.BufferStart = static_cast<std::int32_t>(offset);
  data.BufferEnd = static_cast<std::int32_t>(offset + kFileBufferSize);
  data.LastOffset = static_cast<std::int32_t>(offset);
}

// One piece of at most the buffer's size at offset; true when a write failed.
bool StoreBlock(TProtocolData& data, std::int64_t offset, const std::uint8_t* source,
                std::int32_t count) {
  if (offset < data.LastOffset) {
    // The engine went back: what lies before offset is still good.
    if (data.BufferStart < offset && WriteHeld(data, offset)) return true;
    StartBufferAt(data, offset);
  }
  if (offset + count > data.BufferEnd) {
    if (WriteHeld(data, offset)) return true;
    StartBufferAt(data, offset);
  }
  std::memcpy(data.FileBuffer.get() + (offset - data.BufferStart), source,
              static_cast<std::size_t>(count));
  data.LastOffset = static_cast<std::int32_t>(offset + count);
  return false;
}

}  // namespace

void PrepareWriting(TProtocolData& data) {
  data.WrittenFile.clear();
  // Opened only to learn whether the file exists.
  const int probe = ::open(data.PathName.data(), O_RDONLY | O_CLOEXEC);
  const int probe_error = probe < 0 ? errno : 0;
  if (probe >= 0) ::close(probe);
  if (probe_error != 0 && probe_error != ENOENT) {
    ReportProtocolError(data, -probe_error);
    return;
  }
  const bool exists = probe_error == 0;
  const std::int32_t action = data.WriteFailAction & 0xFF;
  if (exists && action == wfWriteFail) {
    // Not an error at this point: the finish code says it.
    data.ProtocolStatus = psCantWriteFile;
    data.ForceStatus = true;
    return;
  }
  if (exists && action == wfWriteRename) MarkRenamed(data.PathName);
  OpenFileForWriting(data, 0);
}

void OpenFileForWriting(TProtocolData& data, std::int32_t offset) {
  data.StatusProc(data, kStatusPlain);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (offset == 0 ? O_TRUNC : 0);
  const int fd = ::open(data.PathName.data(), flags, 0666);
  if (fd < 0) {
    ReportProtocolError(data, -errno);
    return;
  }
  data.WorkFile.fd = fd;
  data.WorkFile.name = data.PathName.data();
  data.WrittenFile = data.PathName.data();
  data.FileBuffer = std::make_unique<std::uint8_t[]>(kFileBufferSize);
  StartBufferAt(data, offset);
  data.FileOffset = offset;
  data.FileOpen = true;
}

bool WriteFileBlock(TProtocolData& data, const std::uint8_t* source, std::int32_t count) {
  data.ProtocolError = 0;
  if (!data.FileOpen) {
    ReportProtocolError(data, -103);
    return true;
  }
  // A block larger than the buffer goes in buffer-sized pieces.
  std::int64_t offset = data.FileOffset;
  while (count > 0) {
    const std::int32_t piece = std::min(count, kFileBufferSize);
    if (StoreBlock(data, offset, source, piece)) return true;
    offset += piece;
    source += piece;
    count -= piece;
  }
  return false;
}

void FinishWriting(TProtocolData& data) {
  if (!data.FileOpen) return;
  WriteHeld(data, data.FileOffset);
  struct stat st {};
  if (::fstat(data.WorkFile.fd, &st) == 0) {
    data.FileLength = static_cast<std::int32_t>(
        std::min<std::int64_t>(st.st_size, std::numeric_limits<std::int32_t>::max()));
    data.FileDate = PackedLocalTime(st.st_mtime);
  }
  const int fd = data.WorkFile.fd;
  data.WorkFile.fd = -1;
  CloseWorkFile(data);
  if (::close(fd) != 0) ReportProtocolError(data, -errno);
}

}  // namespace qor
