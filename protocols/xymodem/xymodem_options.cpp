// The Xmodem/Ymodem part's life and its switches.
#include <memory>

#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/xymodem.hpp"

namespace qor {

namespace {

constexpr std::int32_t kNotSupported = -6015;
constexpr std::int32_t kTurnDelayMs = 1000;
constexpr std::int32_t kOverhead = 5;

TXYmodemData* Part(TProtocolData& data) {
  if (data.ProtocolType < ptXmodem || data.ProtocolType > ptYmodemG) return nullptr;
  return dynamic_cast<TXYmodemData*>(data.Engine.get());
}

template <class Change>
std::int32_t Switch(TProtocolData& data, Change change) {
  TXYmodemData* xy = Part(data);
  if (xy == nullptr) return kNotSupported;
  platform::Locker lock(data.Lock);
  change(data, *xy);
  data.ProtocolType = XYmodemTypeOf(*xy);
  return 0;
}

void ApplyCrc(TProtocolData& data, TXYmodemData& xy, bool on) {
  // Only plain Xmodem may do without: the 1K types and Ymodem always check with a CRC.
  const std::int32_t type = data.ProtocolType;
  xy.Crc = type == ptXmodem || type == ptXmodemCRC ? on : true;
  data.BlockCheckMethod = xy.Crc ? bcmCrc16 : bcmChecksum;
}

void Apply1K(TProtocolData& data, TXYmodemData& xy, bool on) {
  xy.OneK = on;
  data.BlockLength = on ? kLongBlock : kShortBlock;
  xy.StartChar = on ? kStx : kSoh;
  if (on) {
    xy.Crc = true;
    data.BlockCheckMethod = bcmCrc16;
  }
}

void ApplyG(TProtocolData& data, TXYmodemData& xy, bool on) {
  xy.Streaming = on;
  if (on) {
    Apply1K(data, xy, true);
    data.TurnDelay = 0;
  } else {
    data.TurnDelay = kTurnDelayMs;
    xy.MaxBlockErrors = kDefaultMaxBlockErrors;
  }
}

void InstallPart(TProtocolData& data, std::unique_ptr<TXYmodemData> xy, TProtocolType type) {
  platform::Locker lock(data.Lock);
  data.DataBlock = xy->TxBlock.data();
  data.Engine = std::move(xy);
  data.ProtocolType = type;
  data.FileOffset = 0;
  SetDefaultFileProcs(data);
}

}  // namespace

TProtocolType XYmodemTypeOf(const TXYmodemData& xy) {
  if (!xy.Crc || !xy.OneK) return xy.Crc ? ptXmodemCRC : ptXmodem;
  if (xy.Ymodem) return xy.Streaming ? ptYmodemG : ptYmodem;
  return xy.Streaming ? ptXmodem1KG : ptXmodem1K;
}

std::int32_t XmodemInit(TProtocolData& data, bool crc, bool one_k, bool streaming) {
  InstallPart(data, std::make_unique<TXYmodemData>(), ptXmodem);
  SetXmodemCrc(data, crc);
  SetXmodem1K(data, one_k);
  SetXmodemG(data, streaming);
  data.Overhead = kOverhead;
  data.FinishWait = 0;
  return 0;
}

std::int32_t YmodemInit(TProtocolData& data, bool one_k, bool streaming) {
  auto xy = std::make_unique<TXYmodemData>();
  xy->Ymodem = true;
  xy->Header.assign(kBlockBufferSize, 0);
  InstallPart(data, std::move(xy), ptYmodem);
  SetXmodemCrc(data, true);
  SetXmodem1K(data, one_k);
  SetXmodemG(data, streaming);
  return 0;
}

void XYmodemDone(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (dynamic_cast<TXYmodemData*>(data.Engine.get()) == nullptr) return;
  data.DataBlock = nullptr;
  data.Engine.reset();
}

std::int32_t SetXmodemCrc(TProtocolData& data, bool on) {
  return Switch(data, [on](TProtocolData& d, TXYmodemData& xy) { ApplyCrc(d, xy, on); });
}

std::int32_t SetXmodem1K(TProtocolData& data, bool on) {
  return Switch(data, [on](TProtocolData& d, TXYmodemData& xy) { Apply1K(d, xy, on); });
}

std::int32_t SetXmodemG(TProtocolData& data, bool on) {
  return Switch(data, [on](TProtocolData& d, TXYmodemData& xy) { ApplyG(d, xy, on); });
}

std::int32_t SetXYmodemBlockWait(TProtocolData& data, std::uint32_t ticks) {
  return Switch(data, [ticks](TProtocolData&, TXYmodemData& xy) {
    xy.BlockWait = static_cast<std::int32_t>(ticks);
  });
}

}  // namespace qor
