// The Zmodem header and subpacket readers over arbitrary bytes: every header
// that may carry data is followed by its subpackets, as the engines read them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocols/zmodem/zmodem_frames.hpp"
#include "protocols/zmodem/zmodem_reader.hpp"

using namespace qor;

namespace {

bool CarriesData(std::uint8_t type) {
  return type == ZSINIT || type == ZFILE || type == ZDATA || type == ZCOMMAND;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The input's length picks the subpacket limit: the 1 KiB and 8 KiB blocks
  // and a small one that subpackets overrun.
  static constexpr std::int32_t kLimits[] = {1024, 8192, 64};
  const std::int32_t limit = kLimits[size % 3];
  std::vector<std::uint8_t> block(static_cast<std::size_t>(limit));
  TZmodemReader reader;
  reader.StartHeader();
  bool in_data = false;
  for (std::size_t i = 0; i < size; ++i) {
    if (!in_data) {
      if (reader.FeedHeader(bytes[i]) == TZRead::Header && CarriesData(reader.Type)) {
        reader.StartData(block.data(), limit);
        in_data = true;
      }
      continue;
    }
    const TZRead got = reader.FeedData(bytes[i]);
    if (got == TZRead::More) continue;
    if (got == TZRead::Data) {
      if (reader.DataLen < 0 || reader.DataLen > limit) std::abort();
      // ZCRCG and ZCRCQ: another subpacket follows.
      if (reader.Marker == ZCRCG || reader.Marker == ZCRCQ) {
        reader.StartData(block.data(), limit);
        continue;
      }
    }
    reader.StartHeader();
    in_data = false;
  }
  return 0;
}
