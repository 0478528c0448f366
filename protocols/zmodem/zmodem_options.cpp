// The Zmodem part's life and the option setters.
#include <memory>

#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem.hpp"

namespace qor {

namespace {

constexpr std::int32_t kNotSupported = -6015;
constexpr std::uint32_t kOpt8K = 0x40;
constexpr std::int32_t kZmodemOverhead = 20;
constexpr std::int32_t kZmodemFinishWait = 364;
constexpr std::int32_t kZmodemHandshakeWait = 1092;

TZmodemData* ZmodemPart(TProtocolData& data) {
  if (data.ProtocolType != ptZmodem) return nullptr;
  return dynamic_cast<TZmodemData*>(data.Engine.get());
}

template <class Change>
std::int32_t ChangeOption(TProtocolData& data, Change change) {
  TZmodemData* zd = ZmodemPart(data);
  if (zd == nullptr) return kNotSupported;
  platform::Locker lock(data.Lock);
  change(*zd);
  return 0;
}

}  // namespace

void SizeZmodemBuffers(TProtocolData& data, TZmodemData& zd) {
  zd.StdBlockLen = zd.Use8K ? kZmodem8KBlockLen : kZmodemBlockLen;
  zd.DataBuffer.assign(static_cast<std::size_t>(zd.StdBlockLen), 0);
  zd.EscapeBuffer.assign(static_cast<std::size_t>(SubpacketRoom(zd.StdBlockLen)), 0);
  data.DataBlock = zd.DataBuffer.data();
  data.BlockLength = zd.StdBlockLen;
}

std::int32_t ZmodemInit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  auto zd = std::make_unique<TZmodemData>();
  SizeZmodemBuffers(data, *zd);
  data.Engine = std::move(zd);
  data.ProtocolType = ptZmodem;
  data.BlockCheckMethod = bcmCrc32;
  data.Overhead = kZmodemOverhead;
  data.TurnDelay = 0;
  data.FinishWait = kZmodemFinishWait;
  data.HandshakeWait = kZmodemHandshakeWait;
  data.FileOffset = 0;
  SetDefaultFileProcs(data);
  data.PrepareWritingProc = &ZmodemPrepareWriting;
  data.FinishWritingProc = &ZmodemFinishWriting;
  return 0;
}

void ZmodemDone(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (dynamic_cast<TZmodemData*>(data.Engine.get()) == nullptr) return;
  data.DataBlock = nullptr;
  data.Engine.reset();
}

std::int32_t SetZmodem8K(TProtocolData& data, bool on) {
  return ChangeOption(data, [&data, on](TZmodemData& zd) {
    // Buffers in use by a transfer stay as they are until it ends.
    if (data.InProgress != 0 || zd.Use8K == on) return;
    zd.Use8K = on;
    if (on) {
      data.Options |= kOpt8K;
    } else {
      data.Options &= ~kOpt8K;
    }
    SizeZmodemBuffers(data, zd);
  });
}

std::int32_t SetZmodemFinishRetry(TProtocolData& data, std::uint32_t retries) {
  return ChangeOption(data, [retries](TZmodemData& zd) {
    zd.FinishRetry = static_cast<std::uint8_t>(retries & 0xFF);
  });
}

std::int32_t SetZmodemOptionOverride(TProtocolData& data, bool on) {
  return ChangeOption(data, [on](TZmodemData& zd) { zd.OptionOverride = on; });
}

std::int32_t SetZmodemRecover(TProtocolData& data, bool on) {
  return ChangeOption(data, [on](TZmodemData& zd) { zd.Recover = on; });
}

std::int32_t SetZmodemEscControl(TProtocolData& data, bool on) {
  return ChangeOption(data, [on](TZmodemData& zd) { zd.EscControlRequested = on; });
}

std::int32_t SetZmodemFileOption(TProtocolData& data, std::uint8_t option) {
  return ChangeOption(data, [option](TZmodemData& zd) { zd.FileOption = option; });
}

std::int32_t ZmodemFileOptionOf(TProtocolData& data) {
  TZmodemData* zd = ZmodemPart(data);
  if (zd == nullptr) return kNotSupported;
  platform::Locker lock(data.Lock);
  return zd->FileOption;
}

}  // namespace qor
