#pragma once
// The handler frame both directions share: finding the record, cancel and
// carrier loss, status pacing, and running steps until one waits.
#include <cstdint>

#include "protocols/ascii/ascii_data.hpp"

namespace qor {

// What a handler call brings a step.
enum class TAsciiEvent { Start, Data, Timer, OutFree, OutEmpty, Other };

struct TAsciiMachine {
  // Runs the step of the current state; returns the next state.
  std::uint8_t (*Step)(TProtocolData& data, TAsciiData& ad, TAsciiEvent event);
  // Whether the step that left this state goes on at once, and with what
  // event; false: wait for the next handler call.
  bool (*GoesOn)(TProtocolData& data, const TAsciiData& ad, TAsciiEvent& next);
  std::uint8_t Finished;
  std::uint8_t Done;
};

void RunAsciiHandler(const TAsciiMachine& machine, std::uint32_t msg, std::uintptr_t wparam,
                     std::intptr_t lparam);

// The protocol timer.
void ArmAsciiTimer(TProtocolData& data, std::int32_t ticks);
// Throws away what waits to be sent, when the port is open.
void FlushAsciiOutput(TProtocolData& data);
// The ASCII part for a preparation; nullptr (-6015 reported) for another engine.
TAsciiData* AsciiPartToPrepare(TProtocolData& data);

}  // namespace qor
