// The Zmodem header and subpacket readers over arbitrary bytes: every header
// that may carry data is followed by its subpackets, as the engines read them,
// and reading subpackets in stretches gives exactly what single bytes give.
#include <algorithm>
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

// What a reader made of the input: each result with the subpacket it gave.
struct Outcome {
  std::vector<std::uint8_t> events;
  std::vector<std::uint8_t> data;
  bool operator==(const Outcome&) const = default;
};

// Feeds the input byte by byte (stretch 0) or, inside subpackets, in
// stretches as the engine does.
Outcome Read(const std::uint8_t* bytes, std::size_t size, std::int32_t limit, std::size_t stretch) {
  Outcome out;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(limit));
  TZmodemReader reader;
  reader.StartHeader();
  bool in_data = false;
  for (std::size_t i = 0; i < size;) {
    if (!in_data) {
      if (reader.FeedHeader(bytes[i++]) == TZRead::Header && CarriesData(reader.Type)) {
        reader.StartData(block.data(), limit);
        in_data = true;
      }
      continue;
    }
    TZRead got = TZRead::More;
    if (stretch == 0) {
      got = reader.FeedData(bytes[i++]);
    } else {
      std::size_t used = 0;
      got = reader.FeedDataRun(bytes + i, std::min(stretch, size - i), used);
      i += used;
    }
    if (got == TZRead::More) continue;
    out.events.push_back(static_cast<std::uint8_t>(got));
    if (got == TZRead::Data) {
      if (reader.DataLen < 0 || reader.DataLen > limit) std::abort();
      out.events.push_back(reader.Marker);
      out.data.insert(out.data.end(), block.begin(), block.begin() + reader.DataLen);
      // ZCRCG and ZCRCQ: another subpacket follows.
      if (reader.Marker == ZCRCG || reader.Marker == ZCRCQ) {
        reader.StartData(block.data(), limit);
        continue;
      }
    }
    reader.StartHeader();
    in_data = false;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The input's length picks the subpacket limit: the 1 KiB and 8 KiB blocks
  // and a small one that subpackets overrun.
  static constexpr std::int32_t kLimits[] = {1024, 8192, 64};
  const std::int32_t limit = kLimits[size % 3];
  const Outcome by_byte = Read(bytes, size, limit, 0);
  // Stretches must read exactly what single bytes read.
  if (!(Read(bytes, size, limit, 2048) == by_byte) || !(Read(bytes, size, limit, 5) == by_byte)) {
    std::abort();
  }
  return 0;
}
