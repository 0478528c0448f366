#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "comm/dispatcher/text_file.hpp"

namespace qor {

// One recorded byte as the trace and the log show it; its width is its length.
// All hex: "[41]". Else a printable character as itself (a blank counts as
// printable only without in hex), else "[0D]" with in hex or "[13]" without.
std::string DumpItem(std::uint8_t c, bool in_hex, bool all_hex);

// Where items of a line start and where a wrapped line takes them up again.
struct TWrapRule {
  int start_column;    // column before the first item
  int indent;          // blanks that begin a continuation line
  int restart_column;  // column before the first item of a continuation line
};

// Trace data lines: 78 characters at most.
inline constexpr TWrapRule kTraceWrap{0, 0, 0};
// Log data after the 44-character entry columns, continued under them.
inline constexpr TWrapRule kLogWrap{45, 44, 45};

// Writes items side by side, starting a continuation line before an item that
// would take the column past 78.
class TItemLine {
 public:
  TItemLine(TTextFile& file, const TWrapRule& rule)
      : file_(file), rule_(rule), column_(rule.start_column) {}
  void Add(std::string_view item);
  // The next item begins a fresh line, already started by the caller.
  void Restart() { column_ = rule_.start_column; }

 private:
  TTextFile& file_;
  TWrapRule rule_;
  int column_;
};

}  // namespace qor
