#pragma once
// The character work of both directions: line-end translations, sending the
// current block with its delays, and collecting received characters.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "protocols/ascii/ascii_data.hpp"

namespace qor {

// What c becomes under the CR and LF translations: 0, 1 or 2 bytes in out.
std::size_t TranslateLineEnd(const TAsciiData& ad, std::uint8_t c, std::uint8_t out[2]);

// Where a sending step puts bytes and how it waits in place.
struct TAsciiLine {
  std::function<void(const std::uint8_t* bytes, std::size_t count)> Send;
  std::function<void(std::uint32_t ms)> Wait;
};

enum class TSendStepEnd { BlockDone, Delay };

// Sends the block from SendIndex on, waiting the delays in place while they
// fit in one step's budget. Delay: a delay of delay_ticks is due before the
// next character. A Ctrl-Z under AsciiSuppressCtrlZ ends the block and sets
// EndOfFile.
TSendStepEnd SendBlockStep(TProtocolData& data, TAsciiData& ad, const TAsciiLine& line,
                           std::int32_t& delay_ticks);

enum class TCollected { More, BlockFull, EndOfFile };

// Stores what the received c becomes in the block. A Ctrl-Z ends the file
// (stored unless AsciiSuppressCtrlZ is on).
TCollected CollectChar(TProtocolData& data, TAsciiData& ad, std::uint8_t c);

}  // namespace qor
