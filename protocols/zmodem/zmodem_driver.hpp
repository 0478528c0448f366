#pragma once
// The handler frame both directions share: the record under its lock,
// cancel and carrier loss, status pacing, the header reader for the states
// that wait for one, and as many steps as the line allows.
#include <cstdint>

#include "protocols/zmodem/zmodem_line.hpp"

namespace qor {

struct TZDirection {
  void (*Step)(TProtocolData& data, TZmodemData& zd, TZEvent event);
  bool (*WaitsForHeader)(std::uint8_t state);
  TZPace (*Pace)(std::uint8_t state);
  std::uint8_t ErrorState;
  std::uint8_t DoneState;
  // Closes the file after a fault of the port or of memory; no line traffic.
  void (*CloseAfterFault)(TProtocolData& data, TZmodemData& zd);
};

void RunZmodemHandler(const TZDirection& direction, std::uint32_t msg, std::uintptr_t wparam,
                      std::intptr_t lparam);

// Common part of both prepare routines: counters, reader, state; false when
// the record is not Zmodem's (-6015 reported).
bool PrepareZmodem(TProtocolData& data, std::uint8_t state);

}  // namespace qor
