// The end of every transfer: clean up, settle the final code, log and post it.
#include <string>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

namespace {

// Statuses that stand for a failure the engine has not reported as an error.
std::int32_t ErrorOfStatus(std::int32_t status) {
  switch (status) {
    case psFileRejected: return -6011;
    case psCantWriteFile: return -6012;
    case psTimeout: return -6006;
    case psProtocolError: return -6007;
    case psCancelRequested: return -6005;
    case psSequenceError: return -6009;
    case psAbortNoCarrier: return -6014;
    case psAbort: return -6016;
    default: return 0;
  }
}

TDispatchLogKind LogKindOf(std::int32_t type) {
  if (type >= ptXmodem && type <= ptXmodem1KG) return dlkXModem;
  switch (type) {
    case ptYmodem:
    case ptYmodemG: return dlkYModem;
    case ptZmodem: return dlkZModem;
    case ptKermit: return dlkKermit;
    case ptAscii: return dlkAscii;
    case ptAscii + 1: return dlkBPlus;  // a type without an engine in this program
    default: return dlkNone;
  }
}

void Clean(TProtocolData& data, TQorBaseDispatcher* dispatcher) {
  for (std::int32_t* handle : {&data.TimeoutTrigger, &data.StatusTimerTrigger,
                               &data.OutBuffFreeTrigger, &data.OutBuffUsedTrigger,
                               &data.CarrierTrigger}) {
    if (*handle != 0 && dispatcher != nullptr) dispatcher->DeleteTrigger(*handle);
    *handle = 0;
  }
  if (dispatcher != nullptr) {
    dispatcher->RemoveProcHandler(data.HandlerEntry);
    // A notification already on its way then finds no record instead of
    // running the engine a second time.
    void* record = nullptr;
    if (dispatcher->GetUserSlot(record, 1) == 0 && record == &data) {
      dispatcher->SetUserSlot(nullptr, 1);
    }
  }
  if (data.Searching) {
    data.SearchRec = {};
    data.Searching = false;
  }
  if (data.FileOpen) CloseWorkFile(data);
}

}  // namespace

void FinishProtocol(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  // The dispatcher, not the port's state: this may run in the dispatch thread.
  TQorBaseDispatcher* dispatcher = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr;
  Clean(data, dispatcher);
  if (data.ProtocolError == 0) data.ProtocolError = ErrorOfStatus(data.ProtocolStatus);
  if (dispatcher != nullptr && dispatcher->Logging()) {
    const std::string text = "ErrorCode:" + std::to_string(data.ProtocolError);
    dispatcher->AddLogEntry(LogKindOf(data.ProtocolType), dlsStatus,
                            reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size()), 0);
  }
  if (data.MessageWindow != platform::WindowHandle::None) {
    platform::PostMessage(data.MessageWindow, kMsgProtocolFinish,
                          static_cast<std::uintptr_t>(static_cast<std::intptr_t>(data.ProtocolError)),
                          reinterpret_cast<std::intptr_t>(&data));
  }
}

}  // namespace qor
