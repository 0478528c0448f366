#include "protocols/kermit/kermit_decode.hpp"

#include <algorithm>
#include <array>

namespace qor {

namespace {

constexpr std::int32_t kMaxRun = 94;

}  // namespace

bool DecodeNext(const TKermitData& kd, const std::uint8_t* field, std::int32_t len,
                std::int32_t& pos, std::uint8_t& byte, std::int32_t& count) {
  const TKermitParams& p = kd.LocalParams;
  bool hibit = false;
  bool ctl = false;
  bool repeat = false;
  count = 1;
  while (pos < len) {
    std::uint8_t b = field[pos++];
    if (kd.HibitQuoting && b == p.HibitPrefix && !hibit) {
      if (ctl) {
        byte = b;
        return true;
      }
      hibit = true;
      continue;
    }
    if (b == p.CtlPrefix) {
      if (ctl) {
        byte = hibit ? static_cast<std::uint8_t>(b | 0x80) : b;
        return true;
      }
      ctl = true;
      continue;
    }
    if (kd.RepeatCompression && b == p.RepeatPrefix && !repeat) {
      if (ctl) {
        byte = hibit ? static_cast<std::uint8_t>(b | 0x80) : b;
        return true;
      }
      if (pos >= len) return false;
      // A count outside the protocol's range is taken as its nearest bound.
      count = std::clamp(UnChar(field[pos++]), 1, kMaxRun);
      repeat = true;
      continue;
    }
    if (hibit) b |= 0x80;
    if (ctl) {
      const bool literal =
          b == (p.CtlPrefix | 0x80) || b == p.RepeatPrefix ||
          (kd.RepeatCompression && b == (p.RepeatPrefix | 0x80)) ||
          (kd.HibitQuoting && b == (p.HibitPrefix | 0x80));
      if (!literal) b = Ctl(b);
    }
    byte = b;
    return true;
  }
  return false;
}

void DecodeFileName(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  std::array<std::uint8_t, kKermitDataSize> name{};
  const std::int32_t len = std::clamp(kd.RxDataLen, 0, kKermitDataSize);
  std::int32_t n = 0;
  std::int32_t pos = 0;
  std::uint8_t b = 0;
  std::int32_t count = 0;
  while (n < kKermitDataSize && DecodeNext(kd, data.DataBlock, len, pos, b, count)) {
    const std::int32_t k = std::min(count, kKermitDataSize - n);
    std::fill_n(name.begin() + n, k, b);
    n += k;
  }
  std::copy(name.begin(), name.end(), data.DataBlock);
  kd.RxDataLen = n;
}

}  // namespace qor
