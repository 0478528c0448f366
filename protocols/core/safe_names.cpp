#include "protocols/core/safe_names.hpp"

#include <algorithm>
#include <vector>

#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsPlainName(std::string_view part) { return !part.empty() && part != "." && part != ".."; }

bool HasDrive(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

// The directories and name of a relative path with "." and ".." resolved;
// nothing when ".." would climb out of where the path starts.
std::optional<std::vector<std::string_view>> Resolve(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = static_cast<std::size_t>(
        std::find_if(name.begin() + static_cast<std::ptrdiff_t>(start), name.end(), IsSeparator) -
        name.begin());
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (IsPlainName(part)) {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

std::optional<std::string> RelativePath(const std::string& name, bool honor_directory) {
  if (!honor_directory) {
    const std::string part = JustFileName(name);
    if (!IsPlainName(part)) return std::nullopt;
    return part;
  }
  if (name.empty() || IsSeparator(name.front()) || HasDrive(name)) return std::nullopt;
  // The last part must name a file: "dir/", "dir/." and "dir/.." name directories.
  const auto last = std::find_if(name.rbegin(), name.rend(), IsSeparator);
  if (!IsPlainName(std::string_view(last.base(), name.end()))) return std::nullopt;
  const auto parts = Resolve(name);
  if (!parts) return std::nullopt;
  std::string path;
  for (const std::string_view part : *parts) {
    if (!path.empty()) path += '/';
    path += part;
  }
  return path;
}

}  // namespace

std::string PrintableName(std::string_view name) {
  std::string printable(name);
  std::replace_if(
      printable.begin(), printable.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '_');
  return printable;
}

std::optional<std::string> ReceivedFilePath(std::string_view destination, std::string_view name,
                                            bool honor_directory) {
  const auto relative = RelativePath(PrintableName(name), honor_directory);
  if (!relative) return std::nullopt;
  std::string path(destination);
  if (!path.empty() && path.back() != '/') path += '/';
  path += *relative;
  if (path.size() >= kPathSize) return std::nullopt;
  return path;
}

}  // namespace qor
