// Life of a com port: construction, open and close sequences, the hidden window
// that turns trigger messages into events, notices and watchers.
#include "comm/comport/com_port.hpp"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "comm/device/posix_dispatcher.hpp"
#include "comm/dispatcher/dispatcher_registry.hpp"
#include "comm/errors/check_result.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/clock.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor {

namespace {

std::mutex& PromptMutex() {
  static std::mutex mutex;
  return mutex;
}

TPortPrompt& PromptHook() {
  static TPortPrompt hook;
  return hook;
}

bool InMainThread() {
  const auto main = platform::MainThreadQueue();
  return main == nullptr || main == platform::CurrentThreadQueue();
}

}  // namespace

TPortPrompt SetPortPrompt(TPortPrompt prompt) {
  std::lock_guard lock(PromptMutex());
  TPortPrompt previous = std::move(PromptHook());
  PromptHook() = std::move(prompt);
  return previous;
}

TQorCustomComPort::TQorCustomComPort(TQorBaseComponent* owner) : TQorBaseComponent(owner) {
  AnnounceToOwner();  // a protocol component of the same owner may take it
}

TQorCustomComPort::~TQorCustomComPort() {
  try {
    if (dispatcher_) {
      if (open_state_ == cpsOpen) CloseSequence();
      // A close still pending finishes here; Shutdown waits for the threads.
      if (dispatcher_) FinishClose();
    }
  } catch (...) {
    platform::HandleCurrentException();
  }
  DestroyWindow();
}

void TQorCustomComPort::Assign(const TQorCustomComPort& source) {
  port_watchers_ = source.port_watchers_;
  if (source.dispatcher_ && source.open_state_ == cpsOpen) {
    source.dispatcher_->SnapshotTriggers(saved_triggers_);
    triggers_saved_ = true;
  }
  force_apply_ = source.force_apply_;
  device_layer_ = source.device_layer_;
  com_number_ = source.com_number_;
  baud_ = source.baud_;
  parity_ = source.parity_;
  data_bits_ = source.data_bits_;
  stop_bits_ = source.stop_bits_;
  in_size_ = source.in_size_;
  out_size_ = source.out_size_;
  auto_open_ = source.auto_open_;
  prompt_for_port_ = source.prompt_for_port_;
  rs485_mode_ = source.rs485_mode_;
  priority_boost_ = source.priority_boost_;
  dtr_ = source.dtr_;
  rts_ = source.rts_;
  hw_flow_ = source.hw_flow_;
  sw_flow_ = source.sw_flow_;
  buffer_full_ = source.buffer_full_;
  buffer_resume_ = source.buffer_resume_;
  xon_ = source.xon_;
  xoff_ = source.xoff_;
  tracing_ = source.tracing_;
  trace_size_ = source.trace_size_;
  trace_name_ = source.trace_name_;
  trace_hex_ = source.trace_hex_;
  trace_all_hex_ = source.trace_all_hex_;
  logging_ = source.logging_;
  log_size_ = source.log_size_;
  log_name_ = source.log_name_;
  log_hex_ = source.log_hex_;
  log_all_hex_ = source.log_all_hex_;
  avail_length_ = source.avail_length_;
  on_trigger_ = source.on_trigger_;
  on_trigger_avail_ = source.on_trigger_avail_;
  on_trigger_data_ = source.on_trigger_data_;
  on_trigger_status_ = source.on_trigger_status_;
  on_trigger_timer_ = source.on_trigger_timer_;
  on_port_open_ = source.on_port_open_;
  on_port_close_ = source.on_port_close_;
  tapi_mode_ = source.tapi_mode_;
  open_ = false;
}

void TQorCustomComPort::Loaded() {
  TQorBaseComponent::Loaded();
  if (IsDesigning() || !(open_at_load_ || open_)) return;
  open_at_load_ = false;
  open_ = false;
  try {
    OpenSequence();
  } catch (...) {
    open_ = false;
    platform::HandleCurrentException();
  }
}

void TQorCustomComPort::SetOpen(bool open) {
  if (open == open_) return;
  if (IsDesigning() || IsLoading()) {
    open_ = open;
    if (open) open_at_load_ = true;
    return;
  }
  if (!open) {
    CloseSequence();
  } else if (open_state_ != cpsClosed) {
    reopen_requested_ = true;
  } else {
    OpenSequence();
  }
}

void TQorCustomComPort::SetComNumber(std::uint16_t number) {
  if (number == com_number_) return;
  if (open_state_ != cpsOpen) {
    com_number_ = number;
    return;
  }
  TriggerSnapshot triggers;
  dispatcher_->SnapshotTriggers(triggers);
  const TTraceLogState tracing = tracing_;
  const TTraceLogState logging = logging_;
  CloseSequence();
  com_number_ = number;
  SetTracing(tracing);
  SetLogging(logging);
  OpenSequence();
  if (dispatcher_) dispatcher_->ReloadTriggers(triggers);
}

// ---------------------------------------------------------------- opening

void TQorCustomComPort::ValidatePortNumber() {
  if (com_number_ != 0) return;
  if (!prompt_for_port_) Check(-2011);
  TPortPrompt prompt;
  {
    std::lock_guard lock(PromptMutex());
    prompt = PromptHook();
  }
  std::int32_t chosen = 0;
  if (!prompt || !prompt(chosen) || chosen <= 0 || chosen > 0xFFFF) Check(-2011);
  com_number_ = static_cast<std::uint16_t>(chosen);
}

std::unique_ptr<TQorBaseDispatcher> TQorCustomComPort::CreateDispatcher() {
  if (factory_) return factory_(*this);
  if (device_layer_ != dlWin32) Check(-3001);
  return std::make_unique<TQorPosixDispatcher>(this);
}

std::int32_t TQorCustomComPort::OpenDevice() {
  std::uint32_t options = 0;
  if (dtr_) options |= kOpenDtrOn;
  if (rts_) options |= kOpenRtsOn;
  if ((hw_flow_ & hwfUseDTR) != 0) options |= kOpenDtrByFlow;
  if ((hw_flow_ & hwfUseRTS) != 0) options |= kOpenRtsByFlow;
  // A descriptor handed in by a telephony layer is taken over through its
  // /proc entry; otherwise the port table resolves the number.
  char name[40];
  if (tapi_mode_ == tmOn) {
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", tapi_device_);
  } else {
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", com_number_);
  }
  return dispatcher_->OpenPort(name, baud_, parity_, static_cast<std::uint8_t>(data_bits_),
                               static_cast<std::uint8_t>(stop_bits_), in_size_, out_size_,
                               options);
}

void TQorCustomComPort::OpenSequence() {
  if (tapi_mode_ != tmOn) ValidatePortNumber();
  dispatcher_ = CreateDispatcher();
  try {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", com_number_);
    dispatcher_->SetDeviceName(name);
    if (tapi_mode_ == tmOn && tapi_device_ <= 0) Check(-2012);
    std::int32_t result = OpenDevice();
    if (result == -5) result = -2008;
    if (result == -2 || result == -3) result = -2001;
    if (result != 0) Check(result < 0 ? result : -result);

    open_state_ = cpsOpen;
    UpdateHandlerInstallation();
    ApplyAll();
    open_ = true;
    CreateWindow();
    dispatcher_->AddWindowHandler(window_);
    dispatcher_->SetFailureWindow(window_);
    device_failure_ = 0;
    if (triggers_saved_) {
      triggers_saved_ = false;
      dispatcher_->ReloadTriggers(saved_triggers_);
    }
  } catch (...) {
    open_ = false;
    open_state_ = cpsClosed;
    DestroyWindow();
    dispatcher_.reset();
    throw;
  }
  Notify(pnOpen);
}

void TQorCustomComPort::ApplyAll() {
  force_apply_ = true;
  try {
    SetTracing(tracing_);
    SetLogging(logging_);
    SetHWFlowOptions(hw_flow_);
    SetSWFlowOptions(sw_flow_);
    SetXOnChar(xon_);
    SetXOffChar(xoff_);
    SetAvailLength(avail_length_);
    SetDTR(dtr_);
    SetRTS(rts_);
    SetUseEventWord(use_event_word_);
    SetRS485Mode(rs485_mode_);
    SetPriorityBoost(priority_boost_);
  } catch (...) {
    force_apply_ = false;
    throw;
  }
  force_apply_ = false;
}

// ---------------------------------------------------------------- closing

void TQorCustomComPort::CloseSequence() {
  if (open_state_ != cpsOpen) return;
  // A dump that fails must not leave the port open: finish, then report it.
  std::exception_ptr dump_failure;
  try {
    SetTracing(tlDump);
  } catch (...) {
    dump_failure = std::current_exception();
  }
  try {
    SetLogging(tlDump);
  } catch (...) {
    if (!dump_failure) dump_failure = std::current_exception();
  }
  open_state_ = cpsShuttingDown;
  // Reads False from here on, so that Open := True during a deferred close is
  // remembered and carried out when the close completes.
  open_ = false;
  Notify(pnClosing);
  dispatcher_->SnapshotTriggers(saved_triggers_);
  triggers_saved_ = true;
  dispatcher_->ClosePort();
  if (dispatcher_->HandlersRunning()) {
    // Asked from inside a notification: the dispatcher is freed once its
    // threads have stopped, from the window's own message.
    platform::PostMessage(window_, kMsgClosePending, 0,
                          static_cast<std::intptr_t>(dispatcher_->DispatcherHandle()) << 16);
    platform::ProcessOneMessage(platform::QuitMode::Keep);
  } else {
    FinishClose();
  }
  Notify(pnClosed);
  if (dump_failure) std::rethrow_exception(dump_failure);
}

void TQorCustomComPort::FinishClose() {
  if (dispatcher_) {
    dispatcher_->SetFailureWindow(platform::WindowHandle::None);
    dispatcher_->RemoveWindowHandler(window_);
    DestroyWindow();
    dispatcher_->Shutdown();
    dispatcher_.reset();
  }
  open_state_ = cpsClosed;
  open_ = false;
}

// ---------------------------------------------------------------- the hidden window

void TQorCustomComPort::CreateWindow() {
  if (window_ != platform::WindowHandle::None) return;
  window_ = platform::CreateMessageWindow(
      [this](std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
        return WindowProc(msg, wparam, lparam);
      });
}

void TQorCustomComPort::DestroyWindow() {
  if (window_ == platform::WindowHandle::None) return;
  platform::DestroyMessageWindow(window_);
  window_ = platform::WindowHandle::None;
}

std::intptr_t TQorCustomComPort::WindowProc(std::uint32_t msg, std::uintptr_t wparam,
                                            std::intptr_t lparam) {
  if (msg < kMsgTriggerAvail ||
      (msg > kMsgTriggerStatus && msg != kMsgClosePending && msg != kMsgDeviceFailed)) {
    return 0;
  }
  TQorCustomComPort* port = nullptr;
  {
    platform::Locker lock(DispatcherRegistry::Lock());
    const std::int32_t handle = DispatcherRegistry::HandleOf(lparam);
    if (handle >= DispatcherRegistry::Count()) return 0;
    TQorBaseDispatcher* d = DispatcherRegistry::Find(handle);
    if (d == nullptr) return 0;
    port = dynamic_cast<TQorCustomComPort*>(d->Owner());
  }
  // The dispatcher is freed only by this thread, so it outlives the events.
  if (port == nullptr) return 0;
  try {
    if (msg == kMsgClosePending) {
      if (port->dispatcher_ && port->dispatcher_->RunningThreads() > 0) {
        platform::Sleep(1);  // the threads are ending; look again shortly
        platform::PostMessage(window_, kMsgClosePending, wparam, lparam);
        return 0;
      }
      port->FinishClose();
      if (port->reopen_requested_) {
        port->reopen_requested_ = false;
        port->OpenSequence();
      }
    } else if (msg == kMsgDeviceFailed) {
      // The device is gone and the dispatcher's threads have stopped: close,
      // so that whoever uses the port (a transfer, its watchers) hears of it.
      // A late notice of a dispatcher since replaced finds one that has not failed.
      if (port->open_state_ == cpsOpen && port->dispatcher_ && port->dispatcher_->DeviceFailed()) {
        port->device_failure_ = -static_cast<std::int32_t>(wparam);
        port->SetOpen(false);
      }
    } else {
      port->HandleTriggerMessage(msg, wparam, lparam);
    }
  } catch (...) {
    if (InMainThread()) platform::HandleCurrentException();
  }
  return 0;
}

void TQorCustomComPort::HandleTriggerMessage(std::uint32_t msg, std::uintptr_t wparam,
                                             std::intptr_t lparam) {
  const auto handle = static_cast<std::uint16_t>(wparam);
  const auto low = static_cast<std::uint16_t>(lparam & 0xFFFF);
  if (on_trigger_) {
    on_trigger_(*this, static_cast<std::uint16_t>(msg), handle,
                msg == kMsgTriggerAvail ? handle : low);
  }
  switch (msg) {
    case kMsgTriggerAvail:
      if (on_trigger_avail_) on_trigger_avail_(*this, handle);
      break;
    case kMsgTriggerData:
      if (on_trigger_data_) on_trigger_data_(*this, handle);
      break;
    case kMsgTriggerTimer:
      if (on_trigger_timer_) on_trigger_timer_(*this, handle);
      break;
    case kMsgTriggerStatus:
      if (on_trigger_status_) on_trigger_status_(*this, handle);
      switch (handle & 7) {
        case stModem:
          if (on_trigger_modem_status_) on_trigger_modem_status_(*this);
          break;
        case stLine:
          if (on_trigger_line_error_) {
            const std::uint16_t error = LineErrorCode();
            on_trigger_line_error_(*this, error, LineBreakSeen());
          }
          break;
        case stOutFree:
          if (on_trigger_outbuff_free_) on_trigger_outbuff_free_(*this);
          break;
        case stOutUsed:
          if (on_trigger_outbuff_used_) on_trigger_outbuff_used_(*this);
          break;
        case stOutSent:
          if (on_trigger_out_sent_) on_trigger_out_sent_(*this);
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- notices

void TQorCustomComPort::Notify(TPortNotice notice) {
  switch (notice) {
    case pnOpen:
      NotifyPortOpen();
      break;
    case pnClosing:
      NotifyPortClosing();
      break;
    case pnClosed:
      NotifyPortClosed();
      break;
  }
}

void TQorCustomComPort::TellWatchers(TPortNotice notice) {
  // A copy: a watcher may remove itself while it is told.
  const std::vector<Watcher> watchers = port_watchers_;
  for (auto it = watchers.rbegin(); it != watchers.rend(); ++it) it->callback(it->object, *this, notice);
}

void TQorCustomComPort::NotifyPortOpen() {
  TellWatchers(pnOpen);
  if (on_port_open_) on_port_open_(*this);
}

void TQorCustomComPort::NotifyPortClosing() { TellWatchers(pnClosing); }

void TQorCustomComPort::NotifyPortClosed() {
  TellWatchers(pnClosed);
  if (on_port_close_) on_port_close_(*this);
}

std::int32_t TQorCustomComPort::AddPortWatch(TPortCallback callback, void* object) {
  port_watchers_.push_back({callback, object});
  return static_cast<std::int32_t>(port_watchers_.size() - 1);
}

void TQorCustomComPort::RemovePortWatch(TPortCallback callback) {
  if (IsDestroying()) return;
  std::erase_if(port_watchers_, [callback](const Watcher& w) { return w.callback == callback; });
}

TQorCustomComPort* LocateComPort(TQorBaseComponent* component) {
  if (component == nullptr) return nullptr;
  for (TQorBaseComponent* owned : component->Components()) {
    if (auto* port = dynamic_cast<TQorCustomComPort*>(owned)) return port;
    if (TQorCustomComPort* found = LocateComPort(owned)) return found;
  }
  return nullptr;
}

}  // namespace qor
