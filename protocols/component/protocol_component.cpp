// The protocol component: engine selection, starting and cancelling, and the
// message window through which the engines' reports become events.
#include "protocols/component/protocol_component.hpp"

#include <algorithm>
#include <cstring>

#include "comm/dispatcher/dispatcher_registry.hpp"
#include "comm/errors/check_result.hpp"
#include "comm/errors/error_text.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/exception_display.hpp"
#include "protocols/component/engine_table.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"

namespace qor {

namespace {

template <class T>
T* FindUnattached(TQorBaseComponent* root) {
  if (root == nullptr) return nullptr;
  for (TQorBaseComponent* c : root->Components()) {
    if (auto* found = dynamic_cast<T*>(c); found != nullptr && found->Protocol() == nullptr) {
      return found;
    }
  }
  for (TQorBaseComponent* c : root->Components()) {
    if (T* found = FindUnattached<T>(c)) return found;
  }
  return nullptr;
}

std::string TextOf(const std::array<char, kPathSize>& field) { return field.data(); }

void CopyText(std::array<char, kPathSize>& field, const std::string& text) {
  const std::size_t n = std::min(text.size(), kPathSize - 1);
  std::memcpy(field.data(), text.data(), n);
  field[n] = '\0';
}

}  // namespace

std::int32_t TQorCustomProtocol::Check(std::int32_t code) {
  if (code != 0) CheckResult(this, code < 0 ? code : -code);
  return code;
}

TQorCustomProtocol::TQorCustomProtocol(TQorBaseComponent* owner) : TQorBaseComponent(owner) {
  Check(InitProtocolData(data_, nullptr, 0));
  data_->HandshakeWait = 182;
  data_->HandshakeRetry = 10;
  data_->TransmitTimeout = 1092;
  data_->FinishWait = 364;
  data_->TurnDelay = 0;
  data_->Overhead = 0;
  data_->UpcaseFileNames = true;
  data_->Options = 0;
  AttachFromOwner();
  window_ = platform::CreateMessageWindow(
      [this](std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
        return WindowProc(msg, wparam, lparam);
      });
  if (window_ == platform::WindowHandle::None) {
    throw EInternal(-1006);
  }
  SetMessageWindow(*data_, window_);
  protocol_type_ = ptNoProtocol;
}

TQorCustomProtocol::~TQorCustomProtocol() {
  // A running transfer stops here: the engine leaves the dispatcher and the
  // port no longer calls back.
  if (data_ && data_->HandlerEntry != nullptr && com_port_ != nullptr &&
      com_port_->Dispatcher() != nullptr) {
    try {
      CancelTransfer();
      com_port_->Dispatcher()->RemoveProcHandler(data_->HandlerEntry);
    } catch (...) {
      platform::HandleCurrentException();
    }
  }
  if (com_port_ != nullptr) com_port_->RemovePortWatch(&TQorCustomProtocol::PortStateChanged);
  platform::DestroyMessageWindow(window_);
  ReleaseEngine();
  DoneProtocolData(data_);
}

void TQorCustomProtocol::AttachFromOwner() {
  TQorBaseComponent* owner = Owner();
  if (owner == nullptr) return;
  SetComPort(LocateComPort(owner));
  if (auto* display = FindUnattached<TQorAbstractStatus>(owner)) SetStatusDisplay(display);
  if (auto* log = FindUnattached<TQorProtocolLog>(owner)) SetProtocolLog(log);
}

void TQorCustomProtocol::Notification(TQorBaseComponent* component, TOperation operation) {
  TQorBaseComponent::Notification(component, operation);
  if (operation == TOperation::opRemove) {
    if (component == com_port_) {
      com_port_ = nullptr;
      qor::SetComPort(*data_, nullptr);
    }
    if (component == status_display_) status_display_ = nullptr;
    if (component == protocol_log_) protocol_log_ = nullptr;
    return;
  }
  if (component->Owner() != Owner() || component == this) return;
  if (com_port_ == nullptr) {
    if (auto* port = dynamic_cast<TQorCustomComPort*>(component)) SetComPort(port);
  }
  if (status_display_ == nullptr) {
    if (auto* d = dynamic_cast<TQorAbstractStatus*>(component); d && d->Protocol() == nullptr) {
      SetStatusDisplay(d);
    }
  }
  if (protocol_log_ == nullptr) {
    if (auto* l = dynamic_cast<TQorProtocolLog*>(component); l && l->Protocol() == nullptr) {
      SetProtocolLog(l);
    }
  }
}

// Each attachment asks to be told when the other component goes, so that no
// pointer outlives it (an owner frees its components without telling siblings).
void TQorCustomProtocol::SetComPort(TQorCustomComPort* port) {
  if (com_port_ != nullptr && com_port_ != port) RemoveFreeNotification(com_port_);
  com_port_ = port;
  if (port != nullptr) FreeNotification(port);
  qor::SetComPort(*data_, port);
}

void TQorCustomProtocol::SetStatusDisplay(TQorAbstractStatus* display) {
  if (status_display_ != nullptr && status_display_ != display) {
    RemoveFreeNotification(status_display_);
  }
  status_display_ = display;
  if (display != nullptr) {
    FreeNotification(display);
    display->SetProtocol(this);
  }
}

void TQorCustomProtocol::SetProtocolLog(TQorProtocolLog* log) {
  if (protocol_log_ != nullptr && protocol_log_ != log) RemoveFreeNotification(protocol_log_);
  protocol_log_ = log;
  if (log != nullptr) {
    FreeNotification(log);
    log->SetProtocol(this);
  }
}

// ---------------------------------------------------------------- engines

void TQorCustomProtocol::ReleaseEngine() {
  if (data_->Engine == nullptr) return;
  if (const TEngineEntry* engine = EngineFor(protocol_type_)) engine->Done(*data_);
  data_->Engine.reset();
}

std::int32_t TQorCustomProtocol::InitEngine(TProtocolType type) {
  const TEngineEntry* engine = EngineFor(type);
  if (engine == nullptr) return 0;
  const std::int32_t result = engine->Init(*data_, type);
  if (result != 0) return result;
  if (type == ptKermit) {
    std::int32_t r = ApplyKermitMaxLen();
    const std::uint32_t windows = kermit_max_windows_;
    if (r == 0) r = qor::SetKermitMaxWindows(*data_, windows);
    if (r == 0) r = qor::SetKermitSWCTurnDelay(*data_, kermit_swc_turn_delay_);
    if (r == 0) r = qor::SetKermitTimeoutSecs(*data_, kermit_timeout_secs_);
    if (r == 0) r = qor::SetKermitPadding(*data_, kermit_pad_character_, kermit_pad_count_);
    if (r == 0) r = qor::SetKermitTerminator(*data_, kermit_terminator_);
    if (r == 0) r = qor::SetKermitCtlPrefix(*data_, kermit_ctl_prefix_);
    if (r == 0) r = qor::SetKermitHibitPrefix(*data_, kermit_highbit_prefix_);
    if (r == 0) r = qor::SetKermitRepeatPrefix(*data_, kermit_repeat_prefix_);
    return r;
  }
  if (type >= ptXmodem && type <= ptYmodemG) {
    return qor::SetXYmodemBlockWait(*data_, xymodem_block_wait_);
  }
  if (type == ptZmodem) return ApplyZmodemOptions();
  if (type == ptAscii) return ApplyAsciiOptions();
  return 0;
}

void TQorCustomProtocol::SetProtocolType(TProtocolType type) {
  if (type == protocol_type_ && !IsLoading()) return;
  ReleaseEngine();
  const std::int32_t result = InitEngine(type);
  if (result != 0) {
    // The old engine's data is gone; a later change must not release it again.
    data_->Engine.reset();
    Check(result);
  }
  protocol_type_ = type;
}

void TQorCustomProtocol::SetBlockCheckMethod(TBlockCheckMethod method) {
  if (method == BlockCheckMethod() || InProgress()) return;
  switch (protocol_type_) {
    case ptXmodem:
      if (method == bcmCrc16) SetProtocolType(ptXmodemCRC);
      break;
    case ptXmodemCRC:
      if (method == bcmChecksum) SetProtocolType(ptXmodem);
      break;
    case ptZmodem:
      if (method == bcmCrc16 || method == bcmCrc32) data_->BlockCheckMethod = method;
      break;
    case ptKermit:
      if ((method == bcmChecksum || method == bcmChecksum2 || method == bcmCrcK) &&
          data_->Engine != nullptr) {
        data_->EngineAs<TKermitData>().LocalParams.CheckType =
            method == bcmChecksum ? '1' : method == bcmChecksum2 ? '2' : '3';
        data_->BlockCheckMethod = method;
      }
      break;
    default:
      break;
  }
}

TBlockCheckMethod TQorCustomProtocol::BlockCheckMethod() const {
  return static_cast<TBlockCheckMethod>(data_->BlockCheckMethod & 0xFF);
}

void TQorCustomProtocol::SetOption(std::uint32_t bit, bool on) {
  if (on) {
    data_->Options |= bit;
  } else {
    data_->Options &= ~bit;
  }
}

// ---------------------------------------------------------------- names

std::string TQorCustomProtocol::DestinationDirectory() const {
  return TextOf(data_->DestinationDirectory);
}

void TQorCustomProtocol::SetDestinationDirectory(const std::string& dir) {
  CopyText(data_->DestinationDirectory, dir);
}

std::string TQorCustomProtocol::FileMask() const { return TextOf(data_->SearchMask); }

void TQorCustomProtocol::SetFileMask(const std::string& mask) { CopyText(data_->SearchMask, mask); }

std::string TQorCustomProtocol::FileName() const { return TextOf(data_->PathName); }

void TQorCustomProtocol::SetFileName(const std::string& name) {
  if (data_->FileOpen) return;  // a transfer is using it
  const std::string cut = name.substr(0, kPathSize - 1);
  if (cut.find('/') != std::string::npos || cut.find('\\') != std::string::npos) {
    CopyText(data_->PathName, cut);
    return;
  }
  std::string dir = DestinationDirectory();
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\' && dir.back() != ':') dir += '/';
  CopyText(data_->PathName, dir + cut);
}

// ---------------------------------------------------------------- transfers

void TQorCustomProtocol::StartTransmit() { Start(true); }
void TQorCustomProtocol::StartReceive() { Start(false); }

void TQorCustomProtocol::Start(bool transmit) {
  if (protocol_type_ == ptNoProtocol) return;
  if (com_port_ == nullptr) Check(-1005);
  const TEngineEntry* engine = EngineFor(protocol_type_);
  const TPrepareProc prepare = transmit ? engine->PrepareTransmit : engine->PrepareReceive;
  const TProtocolHandler handler = transmit ? engine->TransmitHandler : engine->ReceiveHandler;
  if (prepare == nullptr || handler == nullptr || data_->Engine == nullptr) Check(-6015);
  qor::SetComPort(*data_, com_port_);
  com_port_->AddPortWatch(&TQorCustomProtocol::PortStateChanged, this);
  if (line_rate_pending_) {
    UpdateCharsPerSecond(*data_, com_port_->Baud());
    line_rate_pending_ = false;
  }
  engine_handler_ = handler;
  data_->InitialPosition = 0;
  StartProtocol(*data_, protocol_type_, handler, prepare);
}

void TQorCustomProtocol::CancelTransfer() {
  if (engine_handler_ == nullptr || !InProgress()) return;
  std::int32_t handle = 0;
  if (com_port_ != nullptr && com_port_->Dispatcher() != nullptr) {
    handle = com_port_->Dispatcher()->DispatcherHandle();
  }
  engine_handler_(kMsgProtocolCancel, 0, static_cast<std::intptr_t>(handle) << 16);
}

void TQorCustomProtocol::PortStateChanged(void* self, TQorCustomComPort&, TPortNotice notice) {
  auto* protocol = static_cast<TQorCustomProtocol*>(self);
  if ((notice == pnClosing || notice == pnClosed) && protocol->InProgress()) {
    protocol->CancelTransfer();
  }
}

// ---------------------------------------------------------------- reports

std::intptr_t TQorCustomProtocol::WindowProc(std::uint32_t msg, std::uintptr_t wparam,
                                             std::intptr_t lparam) {
  try {
    switch (msg) {
      case kMsgProtocolStatus:
        DoProtocolStatus(static_cast<std::uint16_t>(wparam));
        return 0;
      case kMsgProtocolLog:
        DoProtocolLog(static_cast<std::uint16_t>(wparam));
        return 0;
      case kMsgProtocolNextFile: {
        std::string name;
        DoProtocolNextFile(name);
        if (name.empty()) return 0;
        auto* buffer = reinterpret_cast<char*>(lparam);
        const std::size_t n = std::min(name.size(), kPathSize - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
        return 1;
      }
      case kMsgProtocolAcceptFile: {
        auto* buffer = reinterpret_cast<char*>(lparam);
        std::string name(buffer, strnlen(buffer, kPathSize - 1));
        bool accept = true;
        DoProtocolAccept(accept, name);
        if (!accept) return 0;
        if (!FileName().empty()) {
          const std::size_t n = std::min(name.size(), kPathSize - 1);
          std::memcpy(buffer, name.data(), n);
          buffer[n] = '\0';
        }
        return 1;
      }
      case kMsgProtocolFinish:
        DoProtocolFinish(static_cast<std::int16_t>(wparam & 0xFFFF));
        return 0;
      case kMsgProtocolResume: {
        auto resume = static_cast<TWriteFailAction>(wparam & 0xFF);
        DoProtocolResume(resume);
        return resume;
      }
      case kMsgProtocolError:
        DoProtocolError(static_cast<std::int16_t>(wparam & 0xFFFF));
        return 0;
      default:
        return 0;
    }
  } catch (...) {
    platform::HandleCurrentException();
    return 0;
  }
}

void TQorCustomProtocol::DoProtocolAccept(bool& accept, std::string& fname) {
  accept = true;
  if (OnProtocolAccept) OnProtocolAccept(*this, accept, fname);
}

void TQorCustomProtocol::DoProtocolError(std::int32_t code) {
  if (OnProtocolError) OnProtocolError(*this, code);
}

void TQorCustomProtocol::DoProtocolFinish(std::int32_t code) {
  if (com_port_ != nullptr) com_port_->RemovePortWatch(&TQorCustomProtocol::PortStateChanged);
  if (OnProtocolFinish) OnProtocolFinish(*this, code);
}

void TQorCustomProtocol::DoProtocolLog(std::uint16_t log) {
  if (protocol_log_ != nullptr) protocol_log_->WriteLogEntry(log);
  if (OnProtocolLog) OnProtocolLog(*this, log);
}

void TQorCustomProtocol::DoProtocolNextFile(std::string& fname) {
  if (OnProtocolNextFile) {
    OnProtocolNextFile(*this, fname);
    return;
  }
  char name[kPathSize] = "";
  fname = NextFileFromMask(*data_, name) ? std::string(name) : std::string();
}

void TQorCustomProtocol::DoProtocolResume(TWriteFailAction& resume) {
  if (OnProtocolResume) OnProtocolResume(*this, resume);
}

void TQorCustomProtocol::DoProtocolStatus(std::uint16_t options) {
  if (status_display_ != nullptr) {
    status_display_->UpdateDisplay((options & 1) != 0, (options & 2) != 0);
  }
  if (OnProtocolStatus) OnProtocolStatus(*this, options);
}

// ---------------------------------------------------------------- run-time values

std::string TQorCustomProtocol::StatusText(std::int32_t code) { return qor::StatusText(code); }

std::int32_t TQorCustomProtocol::BytesTransferred() const {
  if (data_->ComPort == nullptr) return 0;
  const auto queued = static_cast<std::uint16_t>(data_->ComPort->OutputUsed());
  const std::int32_t block = data_->BlockLength;
  const std::int32_t handed = data_->TransferredCount;
  if (queued < block) return handed;
  std::int32_t on_wire = queued;
  if (block != 0) on_wire -= (queued / block) * data_->Overhead;
  return std::max(handed - on_wire, 0);
}

std::int32_t TQorCustomProtocol::BytesRemaining() const {
  return std::max(FileSize() - BytesTransferred(), 0);
}

std::int32_t TQorCustomProtocol::BlockSize() const {
  if (InProgress() && data_->ActualBlockLength != 0) return data_->ActualBlockLength;
  return data_->BlockLength;
}

std::int32_t TQorCustomProtocol::KermitWindowsUsed() const {
  return KermitSelected() ? KermitWindowsInUse(*data_) : 0;
}

std::int32_t TQorCustomProtocol::EstimatedSeconds(std::int32_t bytes) const {
  if (bytes == 0) return 0;
  const std::int64_t c = data_->CharsPerSecond;
  const std::int64_t l = data_->BlockLength;
  const std::int64_t d = data_->TurnDelay * c / 1000 + l + data_->Overhead;
  if (d <= 0) return 0;  // nothing to base an estimate on
  const std::int64_t e = l * 100 / d;
  const std::int64_t r = c * e / 100;
  return r > 0 ? static_cast<std::int32_t>(bytes / r) : 0;
}

}  // namespace qor
