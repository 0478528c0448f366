#pragma once
// The text a history file gets for one log report of a transfer.
#include <cstdint>
#include <ctime>
#include <string>

namespace qor {

// What an entry tells about the transfer, taken from the protocol.
struct THistoryFacts {
  std::int32_t ProtocolType = 0;
  std::string FileName;
  std::int32_t StatusCode = 0;
  std::int32_t ElapsedTicks = 0;
  std::int32_t FileSize = 0;
};

// The lines for a log code (0-7), each ended by CR LF; when is the date and
// time text of the entry. Empty for any other code.
std::string HistoryEntry(std::uint32_t code, const THistoryFacts& facts, const std::string& when);

// Characters per second: the size per elapsed second, or the size itself when
// the transfer took less than a second.
std::int32_t HistoryCps(std::int32_t file_size, std::int32_t elapsed_ticks);

// t as the user's locale writes a short date and a long time.
std::string LocalDateTimeText(std::time_t t);

}  // namespace qor
