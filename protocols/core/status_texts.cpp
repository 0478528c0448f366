// Texts for status displays.
#include <array>
#include <cstdio>

#include "comm/errors/error_text.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

std::string ProtocolName(std::int32_t type) {
  static constexpr std::array<const char*, 10> kNames = {
      "None", "Xmodem", "XmodemCRC", "Xmodem1K", "Xmodem1KG",
      "Ymodem", "YmodemG", "Zmodem", "Kermit", "Ascii"};
  return type >= 0 && type < static_cast<std::int32_t>(kNames.size())
             ? kNames[static_cast<std::size_t>(type)]
             : "None";
}

std::string BlockCheckName(std::int32_t method) {
  switch (method & 0x7F) {
    case bcmChecksum: return "Checksum";
    case bcmChecksum2: return "Checksum2";
    case bcmCrc16: return "Crc16";
    case bcmCrc32: return "Crc32";
    case bcmCrcK: return "CrcKermit";
    default: return "No check";
  }
}

std::string MinutesSeconds(std::int32_t seconds) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%d:%02d", seconds / 60, seconds % 60);
  std::string text = digits;
  if (text.size() < 6) text.insert(0, 6 - text.size(), ' ');
  return text;
}

std::string StatusText(std::int32_t code) {
  if ((code >= psOK && code <= psHostResume) || code == psAbort) return ErrorText(code);
  return {};
}

}  // namespace qor
