#pragma once
// The history log of a protocol component: a line or two in a text file for
// every file a transfer starts, finishes, fails or skips.
#include <cstdint>
#include <functional>
#include <string>

#include "comm/component/base_component.hpp"

namespace qor {

class TQorCustomProtocol;

// Which partly received files a failed receive leaves behind.
enum TDeleteFailed : std::uint8_t { dfNever = 0, dfAlways = 1, dfNonRecoverable = 2 };

class TQorProtocolLog : public TQorBaseComponent {
 public:
  explicit TQorProtocolLog(TQorBaseComponent* owner = nullptr);

  TQorCustomProtocol* Protocol() const { return protocol_; }
  virtual void SetProtocol(TQorCustomProtocol* protocol);
  TDeleteFailed DeleteFailed() const { return delete_failed_; }
  void SetDeleteFailed(TDeleteFailed v) { delete_failed_ = v; }
  const std::string& HistoryName() const { return history_name_; }
  void SetHistoryName(const std::string& name) { history_name_ = name; }

  // Appends the entry for a log code of Protocol (0-7: receive/transmit start,
  // ok, fail, skip) to HistoryName; raises EInOutError when the file cannot
  // be written. After a failed receive it may delete the partly received file.
  virtual void WriteLogEntry(std::uint16_t log);

  // The date and time text of an entry; the user's locale by default.
  std::function<std::string()> Now;

 protected:
  void Notification(TQorBaseComponent* component, TOperation operation) override;

 private:
  void DeleteFailedFile();

  TDeleteFailed delete_failed_ = dfNonRecoverable;
  std::string history_name_ = "KESO.HIS";
  TQorCustomProtocol* protocol_ = nullptr;
  // The same object, kept to recognise it while it is being destroyed.
  TQorBaseComponent* protocol_component_ = nullptr;
};

}  // namespace qor
