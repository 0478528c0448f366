#pragma once
#include <cstdint>

namespace qor {

// Kinds of dispatch-log entries; the text of kind k is message 15001 + k.
enum TDispatchLogKind : std::uint8_t {
  dlkNone = 0,
  dlkDispatch = 1,
  dlkTrigger = 2,
  dlkError = 3,
  dlkThread = 4,
  dlkTriggerAlloc = 5,
  dlkTriggerDispose = 6,
  dlkHandlerAlloc = 7,
  dlkHandlerDispose = 8,
  dlkTriggerDataChange = 9,
  dlkTelnet = 10,
  dlkFax = 11,
  dlkXModem = 12,
  dlkYModem = 13,
  dlkZModem = 14,
  dlkKermit = 15,
  dlkAscii = 16,
  dlkBPlus = 17,
  dlkPacket = 18,
  dlkUser = 19,
  dlkScript = 20,
};

// Sub-kinds; the text of sub-kind s is message 15100 + s (0 has none).
enum TDispatchLogSubKind : std::uint16_t {
  dlsNone = 0,
  dlsReadCom = 1,
  dlsWriteCom = 2,
  dlsLineStatus = 3,
  dlsModemStatus = 4,
  dlsAvail = 5,
  dlsTimer = 6,
  dlsData = 7,
  dlsStatus = 8,
  dlsStart = 9,
  dlsExit = 10,
  dlsSleep = 11,
  dlsWake = 12,
  dlsDataTrigger = 13,
  dlsTimerTrigger = 14,
  dlsStatusTrigger = 15,
  dlsAvailTrigger = 16,
  dlsWindow = 17,
  dlsProcedure = 18,
  dlsMethod = 19,
};

}  // namespace qor
