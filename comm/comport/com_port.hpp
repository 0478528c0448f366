#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/component/base_component.hpp"
#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/platform/message_queue.hpp"

namespace qor {

enum TDeviceLayer { dlWin32, dlWinsock };
enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
// A set of hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS bits.
using THWFlowOptionSet = std::uint32_t;
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause, tlAppendAndContinue };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum TComPortState { cpsClosed, cpsShuttingDown, cpsOpen };
enum TPortNotice { pnOpen = 0, pnClosing = 1, pnClosed = 2 };

// Message the port posts to its own window to finish a close requested from
// inside a notification.
inline constexpr std::uint32_t kMsgClosePending = 0x7E0A;

class TQorCustomComPort;

using TNotifyEvent = std::function<void(TQorCustomComPort& sender)>;
using TTriggerEvent = std::function<void(TQorCustomComPort& cp, std::uint16_t msg,
                                         std::uint16_t trigger_handle, std::uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TQorCustomComPort& cp, std::uint16_t count)>;
using TTriggerHandleEvent =
    std::function<void(TQorCustomComPort& cp, std::uint16_t trigger_handle)>;
using TTriggerLineErrorEvent =
    std::function<void(TQorCustomComPort& cp, std::uint16_t error, bool line_break)>;

// A port watcher: told of pnOpen, pnClosing and pnClosed.
using TPortCallback = void (*)(void* object, TQorCustomComPort& cp, TPortNotice notice);

// Creates the dispatcher for a port; replaces the built-in choice.
using TDispatcherFactory = std::function<std::unique_ptr<TQorBaseDispatcher>(TQorCustomComPort&)>;

// Asks the user for a port when one is opened with ComNumber 0 and
// PromptForPort: true and the number when the user picked one. The windowed
// application installs its dialog; without a hook the prompt counts as cancelled.
using TPortPrompt = std::function<bool(std::int32_t& number)>;
TPortPrompt SetPortPrompt(TPortPrompt prompt);

// One serial port for the application and the protocol engines: settings as
// properties (stored while closed, applied while open), a dispatcher while open,
// and trigger events raised in the thread that opened the port.
class TQorCustomComPort : public TQorBaseComponent {
 public:
  explicit TQorCustomComPort(TQorBaseComponent* owner = nullptr);
  ~TQorCustomComPort() override;

  void Assign(const TQorCustomComPort& source);

  // ---- Properties
  TDeviceLayer DeviceLayer() const { return device_layer_; }
  void SetDeviceLayer(TDeviceLayer layer);
  std::uint16_t ComNumber() const { return com_number_; }
  void SetComNumber(std::uint16_t number);
  std::int32_t Baud() const { return baud_; }
  void SetBaud(std::int32_t baud);
  bool PromptForPort() const { return prompt_for_port_; }
  void SetPromptForPort(bool prompt) { prompt_for_port_ = prompt; }
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  std::uint16_t DataBits() const { return data_bits_; }
  void SetDataBits(std::uint16_t bits);
  std::uint16_t StopBits() const { return stop_bits_; }
  void SetStopBits(std::uint16_t bits);
  std::uint16_t InSize() const { return in_size_; }
  void SetInSize(std::uint16_t size);
  std::uint16_t OutSize() const { return out_size_; }
  void SetOutSize(std::uint16_t size);
  bool AutoOpen() const { return auto_open_; }
  void SetAutoOpen(bool on) { auto_open_ = on; }
  bool Open() const { return open_; }
  // The code of the device failure that closed the port (for instance -161,
  // "Device read error", when an adapter was unplugged); 0 after a normal
  // close and once the port opens again.
  std::int32_t DeviceFailure() const { return device_failure_; }
  void SetOpen(bool open);
  bool DTR() const { return dtr_; }
  void SetDTR(bool on);
  bool RTS() const { return rts_; }
  void SetRTS(bool on);
  THWFlowOptionSet HWFlowOptions() const { return hw_flow_; }
  void SetHWFlowOptions(THWFlowOptionSet options);
  TSWFlowOptions SWFlowOptions() const { return sw_flow_; }
  void SetSWFlowOptions(TSWFlowOptions options);
  std::uint8_t XOnChar() const { return xon_; }
  void SetXOnChar(std::uint8_t c);
  std::uint8_t XOffChar() const { return xoff_; }
  void SetXOffChar(std::uint8_t c);
  std::uint16_t BufferFull() const { return buffer_full_; }
  void SetBufferFull(std::uint16_t count);
  std::uint16_t BufferResume() const { return buffer_resume_; }
  void SetBufferResume(std::uint16_t count);
  TTraceLogState Tracing() const { return tracing_; }
  void SetTracing(TTraceLogState state);
  std::uint32_t TraceSize() const { return trace_size_; }
  void SetTraceSize(std::uint32_t size);
  const std::string& TraceName() const { return trace_name_; }
  void SetTraceName(const std::string& name) { trace_name_ = name.substr(0, 255); }
  bool TraceHex() const { return trace_hex_; }
  void SetTraceHex(bool on) { trace_hex_ = on; }
  bool TraceAllHex() const { return trace_all_hex_; }
  void SetTraceAllHex(bool on) { trace_all_hex_ = on; }
  TTraceLogState Logging() const { return logging_; }
  void SetLogging(TTraceLogState state);
  std::uint32_t LogSize() const { return log_size_; }
  void SetLogSize(std::uint32_t size);
  const std::string& LogName() const { return log_name_; }
  void SetLogName(const std::string& name) { log_name_ = name.substr(0, 255); }
  bool LogHex() const { return log_hex_; }
  void SetLogHex(bool on) { log_hex_ = on; }
  bool LogAllHex() const { return log_all_hex_; }
  void SetLogAllHex(bool on) { log_all_hex_ = on; }
  bool UseMSRShadow() const { return true; }
  virtual void SetUseMSRShadow(bool) {}
  bool UseEventWord() const { return use_event_word_; }
  void SetUseEventWord(bool on);
  std::uint16_t CommNotificationLevel() const { return comm_notification_level_; }
  void SetCommNotificationLevel(std::uint16_t level) { comm_notification_level_ = level; }
  TTapiMode TapiMode() const { return tapi_mode_; }
  void SetTapiMode(TTapiMode mode) { tapi_mode_ = mode; }
  // The descriptor a telephony layer opened, taken over when TapiMode is tmOn.
  int TapiDevice() const { return tapi_device_; }
  void SetTapiDevice(int fd) { tapi_device_ = fd; }
  bool RS485Mode() const { return rs485_mode_; }
  void SetRS485Mode(bool on);
  std::uint16_t AvailLength() const { return avail_length_; }
  void SetAvailLength(std::uint16_t count);
  std::uint8_t PriorityBoost() const { return priority_boost_; }
  void SetPriorityBoost(std::uint8_t boost);
  void SetCustomDispatcherFactory(TDispatcherFactory factory) { factory_ = std::move(factory); }

  // ---- Events
  void SetOnPortOpen(TNotifyEvent e) { on_port_open_ = std::move(e); }
  void SetOnPortClose(TNotifyEvent e) { on_port_close_ = std::move(e); }
  void SetOnTrigger(TTriggerEvent e);
  void SetOnTriggerAvail(TTriggerAvailEvent e);
  void SetOnTriggerData(TTriggerHandleEvent e);
  void SetOnTriggerStatus(TTriggerHandleEvent e);
  void SetOnTriggerTimer(TTriggerHandleEvent e);
  void SetOnTriggerLineError(TTriggerLineErrorEvent e);
  void SetOnTriggerModemStatus(TNotifyEvent e);
  void SetOnTriggerOutbuffFree(TNotifyEvent e);
  void SetOnTriggerOutbuffUsed(TNotifyEvent e);
  void SetOnTriggerOutSent(TNotifyEvent e);

  // ---- Byte and trigger operations
  void SendString(const std::string& text);
  void SendBlock(const void* buffer, std::uint16_t length);
  void SendChar(std::uint8_t c);
  std::uint8_t ReadChar();
  // Takes up to max waiting bytes into out, as that many ReadChar calls
  // would, under one lock; how many (0 while closing or when none wait).
  std::int32_t ReadChars(std::uint8_t* out, std::int32_t max);
  bool InputReady();
  void ClearInput();
  void ClearOutput();
  std::int32_t OutputUsed();
  std::int32_t OutputFree();
  void SendBreak(std::uint16_t ticks, bool yield);
  std::uint16_t LineErrorCode();
  bool LineBreakSeen();
  std::int32_t NewTimerTrigger();
  std::int32_t NewStatusTrigger(std::uint16_t kind);
  void DropTrigger(std::int32_t handle);
  void ArmTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate);
  void ArmStatusTrigger(std::int32_t handle, std::int32_t value, bool activate);
  // Data triggers: wait for a string without polling.
  std::int32_t NewDataTrigger(const std::string& text, bool ignore_case);
  virtual void YieldToDispatcher();

  std::int32_t AddPortWatch(TPortCallback callback, void* object);
  void RemovePortWatch(TPortCallback callback);

  // The open dispatcher, opening the port first when AutoOpen allows; raises
  // -2007 when there is none.
  TQorBaseDispatcher& PortDispatcher();
  // The dispatcher while open, else nullptr.
  TQorBaseDispatcher* Dispatcher() const { return dispatcher_.get(); }
  TComPortState OpenState() const { return open_state_; }
  platform::WindowHandle Window() const { return window_; }

 protected:
  void Loaded() override;

  virtual std::unique_ptr<TQorBaseDispatcher> CreateDispatcher();
  virtual std::int32_t OpenDevice();
  virtual void ValidatePortNumber();
  virtual void UpdateHandlerInstallation();
  virtual void OpenSequence();
  virtual void CloseSequence();
  virtual void NotifyPortOpen();
  virtual void NotifyPortClosing();
  virtual void NotifyPortClosed();

 private:
  friend class TComPortWindow;

  // The hidden window's procedure.
  std::intptr_t WindowProc(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  void HandleTriggerMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  void FinishClose();
  void CreateWindow();
  void DestroyWindow();
  void Notify(TPortNotice notice);
  void TellWatchers(TPortNotice notice);
  void ApplyAll();
  void ApplyLineParams();
  void ApplyBufferSizes();
  // True when the operation is skipped (closing); otherwise the dispatcher.
  bool Closing() const { return open_state_ == cpsShuttingDown; }
  std::int32_t Check(std::int32_t code);
  void ApplyTraceLog(bool log, TTraceLogState state);
  void RestartTraceLog(bool log);

  // Settings.
  TDeviceLayer device_layer_ = dlWin32;
  std::uint16_t com_number_ = 0;
  std::int32_t baud_ = 19200;
  bool prompt_for_port_ = true;
  TParity parity_ = pNone;
  std::uint16_t data_bits_ = 8;
  std::uint16_t stop_bits_ = 1;
  std::uint16_t in_size_ = 4096;
  std::uint16_t out_size_ = 4096;
  bool auto_open_ = true;
  bool open_ = false;
  bool dtr_ = true;
  bool rts_ = true;
  THWFlowOptionSet hw_flow_ = 0;
  TSWFlowOptions sw_flow_ = swfNone;
  std::uint8_t xon_ = 17;
  std::uint8_t xoff_ = 19;
  std::uint16_t buffer_full_ = 0;
  std::uint16_t buffer_resume_ = 0;
  TTraceLogState tracing_ = tlOff;
  std::uint32_t trace_size_ = 10000;
  std::string trace_name_ = "KESO.TRC";
  bool trace_hex_ = true;
  bool trace_all_hex_ = false;
  TTraceLogState logging_ = tlOff;
  std::uint32_t log_size_ = 10000;
  std::string log_name_ = "KESO.LOG";
  bool log_hex_ = true;
  bool log_all_hex_ = false;
  bool use_event_word_ = true;
  std::uint16_t comm_notification_level_ = 10;
  TTapiMode tapi_mode_ = tmAuto;
  int tapi_device_ = 0;
  bool rs485_mode_ = false;
  std::uint16_t avail_length_ = 1;
  std::uint8_t priority_boost_ = 0;
  TDispatcherFactory factory_;

  // Events.
  TNotifyEvent on_port_open_, on_port_close_;
  TTriggerEvent on_trigger_;
  TTriggerAvailEvent on_trigger_avail_;
  TTriggerHandleEvent on_trigger_data_, on_trigger_status_, on_trigger_timer_;
  TTriggerLineErrorEvent on_trigger_line_error_;
  TNotifyEvent on_trigger_modem_status_, on_trigger_outbuff_free_, on_trigger_outbuff_used_,
      on_trigger_out_sent_;

  // State.
  TComPortState open_state_ = cpsClosed;
  std::unique_ptr<TQorBaseDispatcher> dispatcher_;
  platform::WindowHandle window_ = platform::WindowHandle::None;
  bool force_apply_ = false;
  bool reopen_requested_ = false;
  std::int32_t device_failure_ = 0;
  bool open_at_load_ = false;
  TriggerSnapshot saved_triggers_;
  bool triggers_saved_ = false;
  struct Watcher {
    TPortCallback callback;
    void* object;
  };
  std::vector<Watcher> port_watchers_;
};

// The port that applications drop on a form: all of the behaviour above.
class TQorComPort : public TQorCustomComPort {
 public:
  using TQorCustomComPort::TQorCustomComPort;
};

// The first com port among the components that component owns, depth first in
// the order of ownership; nullptr for none.
TQorCustomComPort* LocateComPort(TQorBaseComponent* component);

}  // namespace qor
