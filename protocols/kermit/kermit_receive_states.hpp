#pragma once
// The receive states and their actions, one round's worth each.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Receive states follow the transmit states in KermitState.
enum TKermitReceiveState : std::uint8_t {
  rkInit = 21,
  rkGetInit,
  rkCollInit,
  rkGetFile,
  rkCollFile,
  rkGetData,
  rkCollData,
  rkComplete,
  rkWaitCancel,  // numbered for the dispatch log; no path leads to it
  rkError,
  rkDone,
};

// Runs the action of the current receive state, on what the round collected.
void RunReceiveAction(TProtocolData& data);

// Arms the time-out for the sender's next packet.
void ArmHandshakeWait(TProtocolData& data);

}  // namespace qor
