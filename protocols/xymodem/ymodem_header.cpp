#include "protocols/xymodem/ymodem_header.hpp"

#include <algorithm>
#include <cctype>
#include <limits>

#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::size_t kMaxReceivedName = 253;
constexpr std::int32_t kEndOfBatchSpan = 117;

// The field that starts at from and ends before a NUL or a space (or the end).
std::string Field(const std::uint8_t* bytes, std::int32_t count, std::int32_t& from) {
  std::string text;
  while (from < count && bytes[from] != 0 && bytes[from] != ' ') {
    text += static_cast<char>(bytes[from++]);
  }
  return text;
}

std::int32_t DecimalOrZero(const std::string& text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), ::isdigit)) return 0;
  std::int64_t value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::vector<std::uint8_t> BuildYmodemHeader(const std::string& path, bool include_directory,
                                            std::int32_t size, std::int32_t file_date) {
  std::string name = include_directory ? path : JustFileName(path);
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  const std::string size_text = std::to_string(size);
  const std::string date_text =
      file_date != 0
          ? " " + OctalString(static_cast<std::uint32_t>(FileDateToUnixSeconds(file_date)))
          : std::string();
  const std::size_t used = name.size() + size_text.size() + date_text.size() + 2;
  std::vector<std::uint8_t> header(used > kShortBlock ? kLongBlock : kShortBlock, 0);
  std::string text = name;
  text += '\0';
  text += size_text;
  text += date_text;
  std::copy_n(text.begin(), std::min(text.size(), header.size()), header.begin());
  return header;
}

TYmodemHeader ParseYmodemHeader(const std::uint8_t* bytes, std::int32_t count) {
  TYmodemHeader header;
  std::int32_t at = 0;
  while (at < count && bytes[at] != 0) ++at;
  header.Name.assign(reinterpret_cast<const char*>(bytes),
                     std::min(static_cast<std::size_t>(at), kMaxReceivedName));
  ++at;  // the NUL
  header.Size = DecimalOrZero(Field(bytes, count, at));
  if (at >= count || bytes[at] != ' ') return header;
  ++at;
  const std::string date = Field(bytes, count, at);
  if (date.empty()) return header;
  const bool octal =
      std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '7'; });
  header.Seconds = octal ? OctalValue(date) : 0;
  // Digits beyond what fits also read as 0, not only foreign characters.
  header.BadDate =
      !octal || (header.Seconds == 0 && date.find_first_not_of('0') != std::string::npos);
  return header;
}

bool EndsBatch(const std::uint8_t* bytes, std::int32_t count) {
  const std::int32_t span = std::min(count, kEndOfBatchSpan);
  return std::all_of(bytes, bytes + span, [](std::uint8_t b) { return b == 0; });
}

}  // namespace qor
