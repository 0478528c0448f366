// Names of work files: where a name part begins, and where a bare name goes.
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

std::string JustFileName(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void SetPathName(TProtocolData& data, const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) {
    CopyName(data.PathName, name);
    return;
  }
  // No separator after an empty directory: the name stays relative instead of
  // landing in the root directory.
  std::string path = data.DestinationDirectory.data();
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  CopyName(data.PathName, path + name);
}

}  // namespace qor
