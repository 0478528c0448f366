// Starting an engine on an open port, and the handler's side of the calling
// convention: finding the record and pacing status reports.
#include <algorithm>

#include "comm/comport/com_port.hpp"
#include "comm/dispatcher/dispatcher_registry.hpp"
#include "comm/errors/exceptions.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kRecordSlot = 1;
constexpr std::int32_t kCarrierDetect = 0x80;

// A new trigger's handle, or a negative one when none could be had.
template <class Make>
std::int32_t NewTrigger(Make make) {
  try {
    return make();
  } catch (const EQORException&) {
    return -1;
  }
}

// Triggers, prepare, registration, first call; false when the transfer must
// be finished at once.
bool Launch(TProtocolData& data, TPrepareProc prepare) {
  TQorCustomComPort* port = data.ComPort;
  TQorBaseDispatcher* dispatcher = port != nullptr && port->Open() ? port->Dispatcher() : nullptr;
  if (dispatcher == nullptr) {
    ReportProtocolError(data, -103);
    return false;
  }
  dispatcher->SetAvailThreshold(1);
  data.AvailWanted = 1;

  std::int32_t* const handles[] = {&data.TimeoutTrigger, &data.StatusTimerTrigger,
                                   &data.OutBuffFreeTrigger, &data.OutBuffUsedTrigger,
                                   &data.CarrierTrigger};
  data.TimeoutTrigger = NewTrigger([port] { return port->NewTimerTrigger(); });
  data.StatusTimerTrigger = NewTrigger([port] { return port->NewTimerTrigger(); });
  data.OutBuffFreeTrigger = NewTrigger([port] { return port->NewStatusTrigger(stOutFree); });
  data.OutBuffUsedTrigger = NewTrigger([port] { return port->NewStatusTrigger(stOutUsed); });
  data.CarrierTrigger = NewTrigger([port] { return port->NewStatusTrigger(stModem); });
  bool short_of_slots = false;
  for (std::int32_t* handle : handles) {
    if (*handle > 0) continue;
    // The carrier trigger is only needed when carrier loss aborts.
    if (handle != &data.CarrierTrigger || (data.Options & kOptAbortNoCarrier) != 0) {
      short_of_slots = true;
    }
    *handle = 0;  // nothing to drop when finishing
  }
  if (short_of_slots) {
    ReportProtocolError(data, -5001);
    return false;
  }

  dispatcher->SetUserSlot(&data, kRecordSlot);
  prepare(data);
  if (data.ProtocolError != 0) return false;
  // Registered before the first call: the answer to the opening packet, or an
  // output trigger the first call arms, can come before this start returns,
  // and a notice sent while no handler was registered would be lost (the
  // engine then waits for its time-out). The caller holds Lock, so such a
  // notice reaches the handler only after the start is complete.
  dispatcher->AddProcHandler(data.HandlerEntry);
  data.HandlerEntry(0, 0, static_cast<std::intptr_t>(dispatcher->DispatcherHandle()) << 16);
  // FinishProtocol zeroes the handles and unregisters: the first call may
  // already have ended the transfer (an error, or an ASCII send with nothing
  // to send).
  if (data.StatusTimerTrigger == 0) return true;
  // An error the engine did not finish on would leave it registered, and the
  // component waiting for a finish that never comes.
  if (data.ProtocolError != 0) return false;

  dispatcher->ArmTimerTrigger(data.StatusTimerTrigger, data.StatusInterval, true);
  if ((data.Options & kOptAbortNoCarrier) != 0) {
    if (!dispatcher->CheckDcd()) {
      ReportProtocolError(data, -6014);
      return false;
    }
    dispatcher->ArmStatusTrigger(data.CarrierTrigger, kCarrierDetect, true);
  }
  return true;
}

}  // namespace

void StartProtocol(TProtocolData& data, std::int32_t protocol_type, TProtocolHandler handler,
                   TPrepareProc prepare) {
  // Held until the handler is registered, so its first dispatcher call finds
  // the start complete.
  platform::Locker lock(data.Lock);
  data.ProtocolType = protocol_type;
  data.HandlerEntry = handler;
  data.FirstFind = true;
  data.EngineStartWord = 2;
  data.WrittenFile.clear();
  if (!Launch(data, prepare)) FinishProtocol(data);
}

TProtocolData* ProtocolDataFromLParam(std::intptr_t lparam) {
  platform::Locker lock(DispatcherRegistry::Lock());
  TQorBaseDispatcher* dispatcher = DispatcherRegistry::Find(DispatcherRegistry::HandleOf(lparam));
  if (dispatcher == nullptr) return nullptr;
  void* record = nullptr;
  if (dispatcher->GetUserSlot(record, kRecordSlot) != 0) return nullptr;
  return static_cast<TProtocolData*>(record);
}

bool PaceStatus(TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
  // Only a timer message carries a trigger handle in wParam.
  const bool status_timer = msg == kMsgTriggerTimer && data.StatusTimerTrigger != 0 &&
                            wparam == static_cast<std::uintptr_t>(data.StatusTimerTrigger);
  if (!data.ForceStatus && !status_timer) return false;
  TQorBaseDispatcher* dispatcher = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr;
  std::int32_t left = 0;
  if (dispatcher == nullptr || dispatcher->TimerTicksLeft(data.StatusTimerTrigger, left) != 0) {
    left = 0;
  }
  if (left < 1) {
    data.StatusProc(data, kStatusPlain);
    if (dispatcher != nullptr) {
      dispatcher->ArmTimerTrigger(data.StatusTimerTrigger, data.StatusInterval, true);
    }
    data.ForceStatus = false;
  }
  return status_timer;
}

void AskForInput(TProtocolData& data, std::int32_t bytes) {
  bytes = std::max(1, bytes);
  if (bytes == data.AvailWanted || data.ComPort == nullptr) return;
  TQorBaseDispatcher* dispatcher = data.ComPort->Dispatcher();
  if (dispatcher == nullptr) return;
  dispatcher->SetAvailThreshold(bytes);
  data.AvailWanted = bytes;
}

}  // namespace qor
