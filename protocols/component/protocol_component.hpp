#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comm/component/base_component.hpp"
#include "comm/comport/com_port.hpp"
#include "protocols/ascii/ascii_data.hpp"
#include "protocols/component/abstract_status.hpp"
#include "protocols/core/protocol_data.hpp"
#include "protocols/log/protocol_log.hpp"

namespace qor {

enum TZmodemFileOptions : std::int32_t {
  zfoNoOption = 0,
  zfoWriteNewerLonger = 1,
  zfoWriteCrc = 2,
  zfoWriteAppend = 3,
  zfoWriteClobber = 4,
  zfoWriteNewer = 5,
  zfoWriteDifferent = 6,
  zfoWriteProtect = 7,
};

class TQorCustomProtocol;

using TProtocolAcceptEvent =
    std::function<void(TQorCustomProtocol& cp, bool& accept, std::string& fname)>;
using TProtocolCodeEvent = std::function<void(TQorCustomProtocol& cp, std::int32_t code)>;
using TProtocolLogEvent = std::function<void(TQorCustomProtocol& cp, std::uint16_t log)>;
using TProtocolNextFileEvent = std::function<void(TQorCustomProtocol& cp, std::string& fname)>;
using TProtocolResumeEvent =
    std::function<void(TQorCustomProtocol& cp, TWriteFailAction& resume)>;
using TProtocolStatusEvent = std::function<void(TQorCustomProtocol& cp, std::uint16_t options)>;

// The component through which an application transfers files: it owns the
// protocol record, selects and configures an engine, starts it on a com port
// and turns the engine's reports into events in the thread that created it.
class TQorCustomProtocol : public TQorBaseComponent {
 public:
  explicit TQorCustomProtocol(TQorBaseComponent* owner = nullptr);
  ~TQorCustomProtocol() override;

  void Assign(const TQorCustomProtocol& source);

  // ---- Attachments
  TQorCustomComPort* ComPort() const { return com_port_; }
  void SetComPort(TQorCustomComPort* port);
  TQorAbstractStatus* StatusDisplay() const { return status_display_; }
  void SetStatusDisplay(TQorAbstractStatus* display);
  TQorProtocolLog* ProtocolLog() const { return protocol_log_; }
  void SetProtocolLog(TQorProtocolLog* log);

  // ---- Protocol and record-backed properties
  TProtocolType ProtocolType() const { return protocol_type_; }
  void SetProtocolType(TProtocolType type);
  std::string DestinationDirectory() const;
  void SetDestinationDirectory(const std::string& dir);
  std::string FileMask() const;
  void SetFileMask(const std::string& mask);
  std::string FileName() const;
  void SetFileName(const std::string& name);
  TBlockCheckMethod BlockCheckMethod() const;
  void SetBlockCheckMethod(TBlockCheckMethod method);
  std::uint32_t HandshakeRetry() const { return data_->HandshakeRetry; }
  void SetHandshakeRetry(std::uint32_t v) { data_->HandshakeRetry = v; }
  std::uint32_t HandshakeWait() const { return static_cast<std::uint32_t>(data_->HandshakeWait); }
  void SetHandshakeWait(std::uint32_t v) { data_->HandshakeWait = static_cast<std::int32_t>(v); }
  std::uint32_t TransmitTimeout() const { return static_cast<std::uint32_t>(data_->TransmitTimeout); }
  void SetTransmitTimeout(std::uint32_t v) { data_->TransmitTimeout = static_cast<std::int32_t>(v); }
  std::uint32_t FinishWait() const { return static_cast<std::uint32_t>(data_->FinishWait); }
  void SetFinishWait(std::uint32_t v) { data_->FinishWait = static_cast<std::int32_t>(v); }
  std::uint32_t TurnDelay() const { return static_cast<std::uint32_t>(data_->TurnDelay); }
  void SetTurnDelay(std::uint32_t v) { data_->TurnDelay = static_cast<std::int32_t>(v); }
  std::uint32_t Overhead() const { return static_cast<std::uint32_t>(data_->Overhead); }
  void SetOverhead(std::uint32_t v) { data_->Overhead = static_cast<std::int32_t>(v); }
  TWriteFailAction WriteFailAction() const {
    return static_cast<TWriteFailAction>(data_->WriteFailAction & 0xFF);
  }
  void SetWriteFailAction(TWriteFailAction v) { data_->WriteFailAction = v; }
  bool HonorDirectory() const { return Option(kOptHonorDirectory); }
  void SetHonorDirectory(bool on) { SetOption(kOptHonorDirectory, on); }
  bool IncludeDirectory() const { return Option(kOptIncludeDirectory); }
  void SetIncludeDirectory(bool on) { SetOption(kOptIncludeDirectory, on); }
  bool RTSLowForWrite() const { return Option(kOptRTSLowForWrite); }
  void SetRTSLowForWrite(bool on) { SetOption(kOptRTSLowForWrite, on); }
  bool AbortNoCarrier() const { return Option(kOptAbortNoCarrier); }
  void SetAbortNoCarrier(bool on) { SetOption(kOptAbortNoCarrier, on); }
  bool BP2KTransmit() const { return Option(kOptBP2KTransmit); }
  void SetBP2KTransmit(bool on) { SetOption(kOptBP2KTransmit, on); }
  bool AsciiSuppressCtrlZ() const { return Option(kOptAsciiSuppressCtrlZ); }
  void SetAsciiSuppressCtrlZ(bool on) { SetOption(kOptAsciiSuppressCtrlZ, on); }
  std::uint32_t StatusInterval() const { return static_cast<std::uint32_t>(data_->StatusInterval); }
  void SetStatusInterval(std::uint32_t v) { data_->StatusInterval = static_cast<std::int32_t>(v); }
  bool UpcaseFileNames() const { return data_->UpcaseFileNames; }
  void SetUpcaseFileNames(bool on) { data_->UpcaseFileNames = on; }

  // ---- Engine options, cached while another engine is selected
  std::uint32_t XYmodemBlockWait() const { return xymodem_block_wait_; }
  void SetXYmodemBlockWait(std::uint32_t v);
  bool ZmodemOptionOverride() const { return zmodem_option_override_; }
  void SetZmodemOptionOverride(bool v);
  bool ZmodemSkipNoFile() const { return zmodem_skip_no_file_; }
  void SetZmodemSkipNoFile(bool v);
  TZmodemFileOptions ZmodemFileOption() const;
  void SetZmodemFileOption(TZmodemFileOptions v);
  bool ZmodemRecover() const { return zmodem_recover_; }
  void SetZmodemRecover(bool v);
  bool Zmodem8K() const { return zmodem_8k_; }
  void SetZmodem8K(bool v);
  std::uint32_t ZmodemFinishRetry() const { return zmodem_finish_retry_; }
  void SetZmodemFinishRetry(std::uint32_t v);
  bool ZmodemEscControl() const { return zmodem_esc_control_; }
  void SetZmodemEscControl(bool v);
  std::uint32_t KermitMaxLen() const;
  void SetKermitMaxLen(std::uint32_t v);
  std::uint32_t KermitMaxWindows() const;
  void SetKermitMaxWindows(std::uint32_t v);
  std::uint32_t KermitSWCTurnDelay() const { return kermit_swc_turn_delay_; }
  void SetKermitSWCTurnDelay(std::uint32_t v);
  std::uint32_t KermitTimeoutSecs() const { return kermit_timeout_secs_; }
  void SetKermitTimeoutSecs(std::uint32_t v);
  std::uint8_t KermitPadCharacter() const { return kermit_pad_character_; }
  void SetKermitPadCharacter(std::uint8_t v);
  std::uint32_t KermitPadCount() const { return kermit_pad_count_; }
  void SetKermitPadCount(std::uint32_t v);
  std::uint8_t KermitTerminator() const { return kermit_terminator_; }
  void SetKermitTerminator(std::uint8_t v);
  std::uint8_t KermitCtlPrefix() const { return kermit_ctl_prefix_; }
  void SetKermitCtlPrefix(std::uint8_t v);
  std::uint8_t KermitHighbitPrefix() const { return kermit_highbit_prefix_; }
  void SetKermitHighbitPrefix(std::uint8_t v);
  std::uint8_t KermitRepeatPrefix() const { return kermit_repeat_prefix_; }
  void SetKermitRepeatPrefix(std::uint8_t v);
  std::uint32_t AsciiCharDelay() const { return ascii_char_delay_; }
  void SetAsciiCharDelay(std::uint32_t v);
  std::uint32_t AsciiLineDelay() const { return ascii_line_delay_; }
  void SetAsciiLineDelay(std::uint32_t v);
  std::uint8_t AsciiEOLChar() const { return ascii_eol_char_; }
  void SetAsciiEOLChar(std::uint8_t v);
  TAsciiEOLTranslation AsciiCRTranslation() const { return ascii_cr_translation_; }
  void SetAsciiCRTranslation(TAsciiEOLTranslation v);
  TAsciiEOLTranslation AsciiLFTranslation() const { return ascii_lf_translation_; }
  void SetAsciiLFTranslation(TAsciiEOLTranslation v);
  std::uint32_t AsciiEOFTimeout() const { return ascii_eof_timeout_; }
  void SetAsciiEOFTimeout(std::uint32_t v);

  // ---- Events
  TProtocolAcceptEvent OnProtocolAccept;
  TProtocolCodeEvent OnProtocolError;
  TProtocolCodeEvent OnProtocolFinish;
  TProtocolLogEvent OnProtocolLog;
  TProtocolNextFileEvent OnProtocolNextFile;
  TProtocolResumeEvent OnProtocolResume;
  TProtocolStatusEvent OnProtocolStatus;

  // ---- Operations
  void StartTransmit();
  // Starts receiving with the selected engine (the engine table's receive column).
  void StartReceive();
  void CancelTransfer();

  // ---- Run-time values
  std::int32_t StatusCode() const { return data_->ProtocolStatus; }
  static std::string StatusText(std::int32_t code);
  std::int32_t FileSize() const { return data_->FileLength; }
  std::int32_t InitialPosition() const { return data_->InitialPosition; }
  bool InProgress() const { return data_->InProgress > 0; }
  std::int32_t BlockErrors() const { return data_->BlockErrors; }
  std::int32_t TotalErrors() const { return data_->TotalErrors; }
  std::int32_t BytesTransferred() const;
  std::int32_t BytesRemaining() const;
  std::int32_t ElapsedTicks() const { return data_->ElapsedTicks; }
  std::int32_t BlockSize() const;
  std::int32_t LineBitRate() const { return data_->CharsPerSecond * 10; }
  std::int32_t KermitWindowsUsed() const;
  std::int32_t EstimatedSeconds(std::int32_t bytes) const;

  TProtocolData& Data() { return *data_; }
  platform::WindowHandle MessageWindow() const { return window_; }

 protected:
  virtual void DoProtocolAccept(bool& accept, std::string& fname);
  virtual void DoProtocolError(std::int32_t code);
  virtual void DoProtocolFinish(std::int32_t code);
  virtual void DoProtocolLog(std::uint16_t log);
  virtual void DoProtocolNextFile(std::string& fname);
  virtual void DoProtocolResume(TWriteFailAction& resume);
  virtual void DoProtocolStatus(std::uint16_t options);
  void Notification(TQorBaseComponent* component, TOperation operation) override;

 private:
  std::intptr_t WindowProc(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  void Start(bool transmit);
  void ReleaseEngine();
  std::int32_t InitEngine(TProtocolType type);
  bool Option(std::uint32_t bit) const { return (data_->Options & bit) != 0; }
  void SetOption(std::uint32_t bit, bool on);
  bool KermitSelected() const { return protocol_type_ == ptKermit && data_->Engine != nullptr; }
  bool XYmodemSelected() const {
    return protocol_type_ >= ptXmodem && protocol_type_ <= ptYmodemG && data_->Engine != nullptr;
  }
  bool AsciiSelected() const { return protocol_type_ == ptAscii && data_->Engine != nullptr; }
  std::int32_t ApplyAsciiOptions();
  std::int32_t ApplyKermitMaxLen();
  bool ZmodemSelected() const { return protocol_type_ == ptZmodem && data_->Engine != nullptr; }
  std::uint8_t ZmodemOptionByte() const;
  std::int32_t ApplyZmodemOptions();
  std::int32_t Check(std::int32_t code);
  static void PortStateChanged(void* self, TQorCustomComPort& cp, TPortNotice notice);
  void AttachFromOwner();

  bool line_rate_pending_ = true;
  TProtocolHandler engine_handler_ = nullptr;
  platform::WindowHandle window_ = platform::WindowHandle::None;
  TQorCustomComPort* com_port_ = nullptr;
  TProtocolType protocol_type_ = ptZmodem;
  TQorAbstractStatus* status_display_ = nullptr;
  TQorProtocolLog* protocol_log_ = nullptr;

  std::uint32_t xymodem_block_wait_ = 91;
  bool zmodem_option_override_ = false;
  bool zmodem_skip_no_file_ = false;
  TZmodemFileOptions zmodem_file_option_ = zfoWriteNewer;
  bool zmodem_recover_ = false;
  bool zmodem_8k_ = false;
  std::uint32_t zmodem_finish_retry_ = 0;
  bool zmodem_esc_control_ = false;
  std::uint32_t kermit_max_len_ = 80;
  std::uint32_t kermit_max_windows_ = 0;
  std::uint32_t kermit_swc_turn_delay_ = 0;
  std::uint32_t kermit_timeout_secs_ = 5;
  std::uint8_t kermit_pad_character_ = 0;
  std::uint32_t kermit_pad_count_ = 0;
  std::uint8_t kermit_terminator_ = 13;
  std::uint8_t kermit_ctl_prefix_ = '#';
  std::uint8_t kermit_highbit_prefix_ = 'Y';
  std::uint8_t kermit_repeat_prefix_ = '~';
  std::uint32_t ascii_char_delay_ = 0;
  std::uint32_t ascii_line_delay_ = 0;
  std::uint8_t ascii_eol_char_ = 13;
  TAsciiEOLTranslation ascii_cr_translation_ = aetNone;
  TAsciiEOLTranslation ascii_lf_translation_ = aetNone;
  std::uint32_t ascii_eof_timeout_ = 364;

  std::unique_ptr<TProtocolData> data_;
};

class TQorProtocol : public TQorCustomProtocol {
 public:
  using TQorCustomProtocol::TQorCustomProtocol;
};

}  // namespace qor
