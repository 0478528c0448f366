#include "protocols/kermit/kermit_encode.hpp"

#include <algorithm>

#include "comm/ticks.hpp"
#include "protocols/kermit/kermit_packet.hpp"

namespace qor {

namespace {

constexpr std::int32_t kMaxRun = 94;

// Reads the next block of the file into WorkBlock; false when there is no more
// data or the read failed (ProtocolError set).
bool RefillWorkBlock(TProtocolData& data, TKermitData& kd) {
  if (kd.LastReadBlock) return false;
  kd.WorkCount = kKermitDataSize;
  kd.LastReadBlock = data.ReadBlockProc(data, kd.WorkBlock.data(), kd.WorkCount);
  if (data.ProtocolError != 0 || kd.WorkCount <= 0) {
    kd.WorkCount = 0;
    kd.LastReadBlock = true;
    return false;
  }
  kd.WorkPos = 1;
  data.FileOffset += kd.WorkCount;
  return true;
}

}  // namespace

std::int32_t EncodeByte(const TKermitData& kd, std::uint8_t b, std::int32_t run,
                        std::uint8_t (&out)[kMaxEncodedByte]) {
  const TKermitParams& p = kd.LocalParams;
  std::int32_t n = 0;
  if (run > 1) {
    out[n++] = p.RepeatPrefix;
    out[n++] = ToChar(run);
  }
  if (kd.HibitQuoting) {
    if ((b & 0x7F) == p.HibitPrefix) {
      if ((b & 0x80) != 0) out[n++] = p.HibitPrefix;
      out[n++] = p.CtlPrefix;
      out[n++] = p.HibitPrefix;
      return n;
    }
    if ((b & 0x80) != 0) {
      out[n++] = p.HibitPrefix;
      b &= 0x7F;
    }
  }
  if (b < 32 || b == 127) {
    out[n++] = p.CtlPrefix;
    out[n++] = Ctl(b);
  } else if ((b & 0x7F) == p.CtlPrefix ||
             (kd.RepeatCompression && (b & 0x7F) == p.RepeatPrefix)) {
    out[n++] = p.CtlPrefix;
    out[n++] = b;
  } else {
    out[n++] = b;
  }
  return n;
}

void EncodeDataField(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  kd.TxDataLen = 0;
  if (kd.WorkPos > kd.WorkCount && !RefillWorkBlock(data, kd)) {
    if (data.ProtocolError == 0) data.ProtocolStatus = psEndFile;
    return;
  }
  const std::int32_t limit =
      (kd.LongPacketsInUse ? kd.LocalParams.MaxLongLen : kd.LocalParams.MaxLen) - 5;
  // The limit above leaves room for most encodings; this one keeps every
  // packet within what the peer announced, whatever the prefixes add.
  const std::int32_t max_field = MaxDataField(kd);
  std::int32_t len = 0;
  std::int32_t consumed = 0;
  while (len + 1 < limit) {
    const std::int32_t at = kd.WorkPos - 1;
    const std::uint8_t b = kd.WorkBlock[static_cast<std::size_t>(at)];
    std::int32_t run = 1;
    if (kd.RepeatCompression) {
      while (run < kMaxRun && at + run < kd.WorkCount &&
             kd.WorkBlock[static_cast<std::size_t>(at + run)] == b) {
        ++run;
      }
      if (run <= kd.RepeatThreshold) run = 1;
    }
    std::uint8_t code[kMaxEncodedByte];
    const std::int32_t n = EncodeByte(kd, b, run, code);
    if (len > 0 && len + n > max_field) break;
    std::copy_n(code, n, data.DataBlock + len);
    len += n;
    kd.WorkPos += run;
    consumed += run;
    if (kd.WorkPos > kd.WorkCount && !RefillWorkBlock(data, kd)) break;
  }
  kd.TxDataLen = len;
  data.RemainingCount -= consumed;
  data.TransferredCount += consumed;
  data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
}

void EncodeText(TProtocolData& data, std::string_view text) {
  TKermitData& kd = Kermit(data);
  const std::int32_t max_field = MaxDataField(kd);
  std::int32_t len = 0;
  for (const char ch : text) {
    std::uint8_t code[kMaxEncodedByte];
    const std::int32_t n = EncodeByte(kd, static_cast<std::uint8_t>(ch), 1, code);
    if (len + n > max_field) break;
    std::copy_n(code, n, data.DataBlock + len);
    len += n;
  }
  kd.TxDataLen = len;
}

}  // namespace qor
