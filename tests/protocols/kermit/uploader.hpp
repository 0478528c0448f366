#pragma once
// Our Kermit transmitter on a com port over a line, driven as the protocol
// component would: a message window in this thread answers the engine's
// next-file questions and records its reports.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/comport/com_port.hpp"
#include "comm/platform/message_queue.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"

namespace qor::testing {

class Uploader {
 public:
  // Opens COM<number> mapped to line, with a fresh Kermit record.
  explicit Uploader(const std::string& line, int number = 231);
  // Ends a transfer still running, closes the port, frees the record.
  ~Uploader();
  Uploader(const Uploader&) = delete;
  Uploader& operator=(const Uploader&) = delete;

  TProtocolData& Data() { return *data_; }
  TQorComPort& Port() { return port_; }
  // The recovery wizard's settings (time-outs shortened for tests).
  void WizardSettings();

  // Sends these files, in this order.
  void Send(std::vector<std::string> files);
  // Handles this thread's messages until the finish message or ms passed.
  bool WaitFinished(int ms);
  // Handles this thread's messages for ms.
  void Pump(int ms);
  // The component's cancel request.
  void Cancel();
  // Nothing waits in our output buffer.
  bool OutputSent() { return port_.OutputUsed() == 0; }

  bool Finished() const { return finished_; }
  std::int32_t FinishCode() const { return finish_code_; }
  const std::vector<std::int32_t>& Errors() const { return errors_; }
  const std::vector<std::uint32_t>& Logs() const { return logs_; }
  int FirstReports() const { return first_reports_; }
  int LastReports() const { return last_reports_; }

 private:
  std::intptr_t WindowProc(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  std::intptr_t Handle() const;

  std::string env_name_;
  TQorComPort port_;
  platform::WindowHandle window_ = platform::WindowHandle::None;
  std::unique_ptr<TProtocolData> data_;
  std::vector<std::string> files_;
  std::size_t next_file_ = 0;
  bool started_ = false;
  bool finished_ = false;
  std::int32_t finish_code_ = 1;
  std::vector<std::int32_t> errors_;
  std::vector<std::uint32_t> logs_;
  int first_reports_ = 0;
  int last_reports_ = 0;
};

}  // namespace qor::testing
