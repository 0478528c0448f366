#pragma once
// The ASCII engine's part of the protocol record and its constants.
#include <cstdint>
#include <vector>

#include "protocols/core/protocol_data.hpp"

namespace qor {

// What happens to a carriage return or a line feed on its way.
enum TAsciiEOLTranslation : std::int32_t {
  aetNone = 0,
  aetStrip = 1,
  aetAddCRBefore = 2,
  aetAddLFAfter = 3,
};

// Transmit states 0-7, receive states 8-12.
enum TAsciiState : std::uint8_t {
  taInitial,
  taGetBlock,
  taWaitFrSpc,
  taSendBlock,
  taSendDelay,
  taFinDrain,
  taFinished,
  taDone,
  raInitial,
  raCollBlock,
  raWriteBlock,
  raFinished,
  raDone,
};

inline constexpr std::int32_t kAsciiBufferSize = 1024;
inline constexpr std::int32_t kAsciiBlockLength = 60;
// Delays are waited in place while a step's sum stays below this.
inline constexpr std::uint32_t kAsciiStepBudgetMs = 250;
inline constexpr std::int32_t kAsciiDefaultEOFTimeout = 364;  // ticks: 20 seconds
inline constexpr std::uint8_t kCtrlZ = 26;
inline constexpr std::uint8_t kCR = 13;
inline constexpr std::uint8_t kLF = 10;

struct TAsciiData : TEngineData {
  std::uint32_t CharDelay = 0;  // ms
  std::uint32_t LineDelay = 0;  // ms
  std::int32_t CharDelayTicks = 0;
  std::int32_t LineDelayTicks = 0;
  std::uint8_t EOLChar = kCR;
  std::int32_t CRTranslation = aetNone;
  std::int32_t LFTranslation = aetNone;
  std::int32_t EOFTimeout = kAsciiDefaultEOFTimeout;  // ticks
  bool EndOfFile = false;
  bool FirstChar = false;   // receive: the next character starts the clock
  std::int32_t SendIndex = 0;   // transmit: next byte of the block to send
  std::int32_t BlockCount = 0;  // transmit: bytes read into the block
  std::int32_t Collected = 0;   // receive: bytes stored in the block
  std::uint8_t State = taInitial;
  std::vector<std::uint8_t> Buffer = std::vector<std::uint8_t>(kAsciiBufferSize);
};

// Milliseconds as whole ticks, any part of a tick counting as one.
constexpr std::int32_t DelayTicks(std::uint32_t ms) {
  return static_cast<std::int32_t>(ms / 55 + (ms % 55 != 0 ? 1 : 0));
}

// The block length in use, kept to what the buffer holds with room for a
// line end that becomes two bytes.
inline std::int32_t AsciiBlockLimit(const TProtocolData& data) {
  const std::int32_t length = data.BlockLength;
  return length < 1 ? 1 : length > kAsciiBufferSize - 2 ? kAsciiBufferSize - 2 : length;
}

// The record's ASCII part, or nullptr when another engine is selected.
inline TAsciiData* AsciiPart(TProtocolData& data) {
  return data.ProtocolType == ptAscii ? dynamic_cast<TAsciiData*>(data.Engine.get()) : nullptr;
}

}  // namespace qor
