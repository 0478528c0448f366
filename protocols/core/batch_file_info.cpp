#include "protocols/core/batch_file_info.hpp"

#include <algorithm>
#include <cstdlib>

#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

// The text up to the next NUL or space, from pos; pos moves past the separator.
std::string_view NextField(std::string_view bytes, std::size_t& pos) {
  if (pos >= bytes.size()) return {};
  const std::size_t end = std::min(bytes.find_first_of(std::string_view("\0 ", 2), pos), bytes.size());
  const std::string_view field = bytes.substr(pos, end - pos);
  pos = end + 1;
  return field;
}

}  // namespace

std::string BuildBatchFileInfo(std::string_view name, std::int64_t size, bool dated,
                               std::int64_t date) {
  std::string info(name);
  std::replace(info.begin(), info.end(), '\\', '/');
  info.push_back('\0');
  info += std::to_string(size);
  if (dated) info += " " + OctalString(static_cast<std::uint32_t>(date));
  info.push_back('\0');
  return info;
}

TBatchFileInfo ParseBatchFileInfo(std::string_view bytes, std::size_t max_name) {
  TBatchFileInfo info;
  const std::size_t nul = std::min(bytes.find('\0'), bytes.size());
  info.Name = std::string(bytes.substr(0, std::min(nul, max_name)));
  std::size_t pos = nul + 1;
  const std::string size(NextField(bytes, pos));
  if (!size.empty() && std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    info.Size = std::strtoll(size.c_str(), nullptr, 10);
  }
  // The size field may end the information: no date follows its NUL.
  const bool more = pos > 0 && pos - 1 < bytes.size() && bytes[pos - 1] == ' ';
  if (more) {
    const std::string date(NextField(bytes, pos));
    const std::uint32_t seconds = OctalValue(date);
    info.Dated = seconds != 0;
    info.Date = seconds;
  }
  return info;
}

}  // namespace qor
