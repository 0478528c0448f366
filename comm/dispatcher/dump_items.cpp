#include "comm/dispatcher/dump_items.hpp"

#include <cstdio>

namespace qor {

namespace {
constexpr int kLastColumn = 78;
}

std::string DumpItem(std::uint8_t c, bool in_hex, bool all_hex) {
  const std::uint8_t first_printable = in_hex ? 0x21 : 0x20;
  if (!all_hex && c >= first_printable && c <= 0x7E) return std::string(1, static_cast<char>(c));
  char text[8];
  std::snprintf(text, sizeof text, all_hex || in_hex ? "[%02X]" : "[%u]", static_cast<unsigned>(c));
  return text;
}

void TItemLine::Add(std::string_view item) {
  const int width = static_cast<int>(item.size());
  column_ += width;
  if (column_ > kLastColumn) {
    file_.EndLine();
    file_.Write(std::string(static_cast<std::size_t>(rule_.indent), ' '));
    column_ = rule_.restart_column + width;
  }
  file_.Write(item);
}

}  // namespace qor
