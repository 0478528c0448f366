#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace qor {

// One row of the library's message table: a code and its text.
struct MessageRow {
  std::int32_t code;
  const char* text;
};

inline constexpr std::size_t kMessageRowCount = 897;

// Sorted by the absolute value of the code; absolute values are unique.
extern const std::array<MessageRow, kMessageRowCount> kMessageTable;

}  // namespace qor
