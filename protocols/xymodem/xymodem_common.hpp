#pragma once
// What the Xmodem and Ymodem machines share: the events a step reacts to,
// the line operations they use, and the handler frame that runs them.
#include <cstdint>
#include <vector>

#include "protocols/xymodem/xymodem_data.hpp"

namespace qor {

enum class TEvent { Data, Timer, OutFree, OutEmpty, Other };

// What follows a step: wait for the next event, take the next step at once,
// or take it (as a data event) only while received characters wait.
enum class TNext { Wait, Now, WhileData };

// One machine: the engine it belongs to, the field holding its state, its
// first, finishing and Done states, the step that gives the next state, what
// follows a step, the log code of an interruption (-1: none), and where its
// state names start in the dispatch log; for a receiver, how many bytes of
// a block being collected are still missing (0: none is).
struct TMachine {
  bool Ymodem;
  std::uint8_t TXYmodemData::*State;
  std::uint8_t FirstState;
  std::uint8_t FinishState;
  std::uint8_t DoneState;
  std::uint8_t (*NextState)(TProtocolData& data, TXYmodemData& xy, TEvent event);
  TNext (*After)(const TXYmodemData& xy);
  std::int32_t InterruptLog;
  std::uint8_t LogKind;
  std::uint16_t LogBase;
  std::int32_t (*Missing)(const TProtocolData& data, const TXYmodemData& xy) = nullptr;
};

extern const TMachine kXmodemTransmit;
extern const TMachine kXmodemReceive;
extern const TMachine kYmodemTransmit;
extern const TMachine kYmodemReceive;

// The handler of machine m: finds the record, takes its lock and runs steps
// until one waits for an event. A fault of the port or of memory ends the
// transfer through the machine's finishing state.
void RunHandler(const TMachine& m, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
// The preparation of a transfer by machine m: the switches as the type names
// them, the counters reset, m in its first state, the first status report.
// nullptr (-6015 reported) when the record holds another engine. Takes the lock.
TXYmodemData* PrepareTransfer(TProtocolData& data, const TMachine& m);
// Runs steps of m, starting with event, until one waits or m is done.
void RunMachine(TProtocolData& data, TXYmodemData& xy, const TMachine& m, TEvent event);

// The switches as the record's protocol type names them.
void LoadSwitches(TProtocolData& data, TXYmodemData& xy);

// ---- The line (left alone once it has failed)
bool LineUsable(TProtocolData& data);
void ArmTimer(TProtocolData& data, std::int32_t ticks);
void ArmOutputEmpty(TProtocolData& data);
void ArmOutputFree(TProtocolData& data, std::int32_t bytes);
bool XYInputWaiting(TProtocolData& data);
std::uint8_t ReadByte(TProtocolData& data);
// Takes up to max waiting bytes into out; how many.
std::int32_t ReadBytes(TProtocolData& data, std::uint8_t* out, std::int32_t max);
void ClearLineInput(TProtocolData& data);
void ClearLineOutput(TProtocolData& data);
// Puts bytes in the output buffer; false when they did not fit.
bool SendBytes(TProtocolData& data, const std::uint8_t* bytes, std::size_t count);
void SendByte(TProtocolData& data, std::uint8_t byte);
// Flushes the output and sends CAN CAN CAN and three backspaces, while the port is open.
void SendCancelSequence(TProtocolData& data);

// ---- Bookkeeping
void CountBlockError(TProtocolData& data);
void StartTransferClock(TProtocolData& data, TXYmodemData& xy);
// A block of length bytes went through: counters, position and status.
void Advance(TProtocolData& data, TXYmodemData& xy, std::int32_t length);
// Transmit handshake wait: counts an attempt; false (error -6006 reported)
// after more than HandshakeRetry, else the timer is armed and, from the
// second attempt on, a block error counted.
bool HandshakeWaitOk(TProtocolData& data, TXYmodemData& xy);
// One handshake character for a sender: NAK, "C" or "G" set the check (and
// streaming) and give true; CAN sets status 4713, anything else 4712.
bool TakeHandshake(TProtocolData& data, TXYmodemData& xy, std::uint8_t c);

}  // namespace qor
