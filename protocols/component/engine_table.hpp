#pragma once
#include <cstdint>

#include "protocols/core/protocol_data.hpp"

namespace qor {

// One engine: how to set up and release its data in the record, and the
// preparation routine and handler of each direction.
struct TEngineEntry {
  std::int32_t (*Init)(TProtocolData& data, TProtocolType type);
  void (*Done)(TProtocolData& data);
  TPrepareProc PrepareTransmit;
  TProtocolHandler TransmitHandler;
  TPrepareProc PrepareReceive;
  TProtocolHandler ReceiveHandler;
};

// The entry of a protocol type; nullptr for ptNoProtocol. An engine that this
// build does not have yet answers Init with -6015 ("not supported").
const TEngineEntry* EngineFor(TProtocolType type);

}  // namespace qor
