#include "protocols/zmodem/zmodem_receive_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "protocols/core/batch_file_info.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/safe_names.hpp"
#include "protocols/core/work_file.hpp"
#include "protocols/zmodem/zmodem.hpp"

namespace qor {

namespace {

constexpr std::int32_t kRejected = -6011;
constexpr std::size_t kMaxReceivedName = 254;
constexpr std::int64_t kDateSlack = 1;  // seconds; file systems round dates

enum TFileOption : std::uint8_t {
  kNewerLonger = 1,
  kWriteCrc = 2,
  kAppend = 3,
  kClobber = 4,
  kNewer = 5,
  kDifferent = 6,
};

void Skip(TProtocolData& data, std::int32_t status) {
  data.ProtocolStatus = status;
  data.ForceStatus = true;
}

// Whether an existing file of that size and date stays as it is.
bool KeepExisting(std::uint8_t option, const TZmodemData& zd, std::int64_t incoming_size,
                  const struct stat& st) {
  const std::int64_t incoming = zd.IncomingDated ? zd.IncomingDate : std::time(nullptr);
  const std::int64_t here = st.st_mtime;
  const bool same_date = incoming - here <= kDateSlack && here - incoming <= kDateSlack;
  const bool newer = incoming > here + kDateSlack;
  switch (option & 7) {
    case kNewerLonger:
      return !newer && st.st_size >= incoming_size;
    case kWriteCrc:
    case kNewer:
      return !newer;
    case kAppend:
    case kClobber:
      return false;
    case kDifferent:
      return same_date && st.st_size == incoming_size;
    default:  // protect, and no option at all
      return true;
  }
}

}  // namespace

bool TakeFileInformation(TProtocolData& data, TZmodemData& zd, std::int32_t len) {
  const TBatchFileInfo info = ParseBatchFileInfo(
      std::string_view(reinterpret_cast<const char*>(data.DataBlock), static_cast<std::size_t>(len)),
      kMaxReceivedName);
  data.FileLength = static_cast<std::int32_t>(std::min<std::int64_t>(info.Size, INT32_MAX));
  zd.IncomingDated = info.Dated;
  zd.IncomingDate = static_cast<std::int32_t>(info.Date);
  const auto path = ReceivedFilePath(data.DestinationDirectory.data(), info.Name,
                                     (data.Options & kOptHonorDirectory) != 0);
  // A refused name is still shown, made harmless.
  CopyName(data.PathName, path ? *path : PrintableName(info.Name));
  if (path) return true;
  ReportProtocolError(data, kRejected);
  return false;
}

void OpenReceivedFile(TProtocolData& data, TZmodemData& zd, std::int32_t offset) {
  OpenFileForWriting(data, offset);
  zd.Position = offset;
  data.InitialPosition = offset;
}

std::uint32_t LocalFileCrc(TProtocolData& data, std::int32_t len) {
  return ~FileCrc32(data, data.PathName.data(), len);
}

void ZmodemPrepareWriting(TProtocolData& data) {
  TZmodemData& zd = Zmodem(data);
  data.InitialPosition = 0;
  struct stat st {};
  const bool exists = ::stat(data.PathName.data(), &st) == 0;
  if (!exists && errno != ENOENT) {
    ReportProtocolError(data, -errno);
    return;
  }
  const std::int64_t incoming = data.FileLength;
  const bool resume = zd.Conversion == kZmodemResume || zd.Recover;
  if (resume && exists && st.st_size > 0 && st.st_size < incoming) {
    // Only the sender's CRC of the bytes here can say they are the start of
    // its file: the engine asks for it before anything is written.
    zd.ResumeAt = static_cast<std::int32_t>(st.st_size);
    data.ProtocolStatus = psTryResume;
    return;
  }
  const std::uint8_t option = zd.FileManagement;
  if (!exists) {
    if ((option & kZmodemSkipNoFile) != 0) {
      Skip(data, psFileDoesntExist);
      return;
    }
    OpenReceivedFile(data, zd, 0);
    return;
  }
  if (KeepExisting(option, zd, incoming, st)) {
    Skip(data, psCantWriteFile);
    return;
  }
  OpenReceivedFile(data, zd, (option & 7) == kAppend ? static_cast<std::int32_t>(st.st_size) : 0);
}

void ZmodemFinishWriting(TProtocolData& data) {
  if (!data.FileOpen) return;
  const TZmodemData& zd = Zmodem(data);
  const std::string path = data.PathName.data();
  // A partial file keeps its own date: the sender's would make it look whole
  // to the next comparison of dates.
  const bool complete = zd.Position >= data.FileLength;
  const std::int32_t before = data.ProtocolError;
  data.ProtocolError = 0;
  FinishWriting(data);
  const bool failed = data.ProtocolError != 0;
  if (!failed && complete && zd.IncomingDated) {
    const timespec times[2] = {{0, UTIME_OMIT}, {zd.IncomingDate, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  if (!failed) data.ProtocolError = before;
}

}  // namespace qor
