#pragma once
// The file information that batch protocols put before a file (Ymodem's
// block 0, Zmodem's ZFILE data): name, NUL, decimal size, and optionally a
// space and the date as 12 octal digits of seconds since 1970, then NUL.
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

struct TBatchFileInfo {
  std::string Name;       // as received: untrusted, may hold any byte
  std::int64_t Size = 0;  // 0 when absent or not a number
  bool Dated = false;     // a date field was present and readable
  std::int64_t Date = 0;  // seconds since 1970
};

// The information for name (backslashes sent as slashes); the date only when dated.
std::string BuildBatchFileInfo(std::string_view name, std::int64_t size, bool dated,
                               std::int64_t date);

// Reads the fields from the received bytes; the name is cut at max_name characters.
TBatchFileInfo ParseBatchFileInfo(std::string_view bytes, std::size_t max_name);

}  // namespace qor
