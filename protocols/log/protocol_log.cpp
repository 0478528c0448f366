#include "protocols/log/protocol_log.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "comm/errors/exceptions.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/log/history_entry.hpp"

namespace qor {

namespace {

constexpr std::int32_t kCantWriteFile = -6012;

// Writes all of text; -errno on failure, else 0.
int WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

TQorProtocolLog::TQorProtocolLog(TQorBaseComponent* owner)
    : TQorBaseComponent(owner), Now([] { return LocalDateTimeText(std::time(nullptr)); }) {
  // A protocol component among the siblings attaches itself now that this is a log.
  AnnounceToOwner();
}

void TQorProtocolLog::SetProtocol(TQorCustomProtocol* protocol) {
  if (protocol == protocol_) return;
  if (protocol_component_ != nullptr) RemoveFreeNotification(protocol_component_);
  protocol_ = protocol;
  protocol_component_ = protocol;
  if (protocol_component_ != nullptr) FreeNotification(protocol_component_);
}

void TQorProtocolLog::Notification(TQorBaseComponent* component, TOperation operation) {
  TQorBaseComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == protocol_component_) {
    protocol_ = nullptr;
    protocol_component_ = nullptr;
  }
}

void TQorProtocolLog::WriteLogEntry(std::uint16_t log) {
  if (history_name_.empty() || protocol_ == nullptr) return;
  // Opened and closed for every entry: no handle stays open between transfers.
  const int fd = ::open(history_name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) throw EInOutError(-errno);
  const TProtocolData& data = protocol_->Data();
  THistoryFacts facts;
  facts.ProtocolType = data.ProtocolType;
  facts.FileName = data.PathName.data();
  facts.StatusCode = protocol_->StatusCode();
  facts.ElapsedTicks = protocol_->ElapsedTicks();
  facts.FileSize = protocol_->FileSize();
  const std::string text = log <= lfTransmitSkip ? HistoryEntry(log, facts, Now()) : std::string();
  const int written = WriteAll(fd, text);
  const int closed = ::close(fd) == 0 ? 0 : -errno;
  if (written != 0) throw EInOutError(written);
  if (closed != 0) throw EInOutError(closed);
  if (log == lfReceiveFail) DeleteFailedFile();
}

void TQorProtocolLog::DeleteFailedFile() {
  const TProtocolData& data = protocol_->Data();
  if (delete_failed_ == dfNever || data.ProtocolError == kCantWriteFile) return;
  // A Zmodem receive can resume the file later.
  if (delete_failed_ == dfNonRecoverable && data.ProtocolType == ptZmodem) return;
  // Only what this receive wrote: a name left from an earlier transfer, or a
  // file that could not be opened, belongs to someone else.
  const std::string name = data.PathName.data();
  if (name.empty() || name != data.WrittenFile) return;
  std::remove(name.c_str());  // a file that will not go stays; nothing to report
}

}  // namespace qor
