// The Kermit part's life and the option setters.
#include <memory>

#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"

namespace qor {

namespace {

constexpr std::int32_t kNotSupported = -6015;
constexpr std::int32_t kBadArgument = -1002;

TKermitData* KermitPart(TProtocolData& data) {
  if (data.ProtocolType != ptKermit) return nullptr;
  return dynamic_cast<TKermitData*>(data.Engine.get());
}

// Runs change on the settings under the record's lock. A transfer works on its
// own copy, so a change made while one runs takes effect with the next.
template <class Change>
std::int32_t ChangeSettings(TProtocolData& data, Change change) {
  TKermitData* kd = KermitPart(data);
  if (kd == nullptr) return kNotSupported;
  platform::Locker lock(data.Lock);
  change(kd->Settings);
  if (data.InProgress == 0) LoadSettings(data);
  return 0;
}

}  // namespace

std::int32_t CheckTypeToMethod(std::uint8_t check_type) {
  switch (check_type) {
    case '2':
      return bcmChecksum2;
    case '3':
      return bcmCrcK;
    default:
      return bcmChecksum;
  }
}

void AllocateWindowBuffer(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  kd.WindowBuffer.assign(static_cast<std::size_t>(kd.TableSize) *
                             static_cast<std::size_t>(data.BlockLength),
                         0);
}

void SizeWindowFromParams(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  const TKermitParams& p = kd.LocalParams;
  data.BlockLength = p.MaxLongLen != 0 ? p.MaxLongLen : p.MaxLen;
  kd.TableSize = p.WindowSize != 0 ? p.WindowSize : 1;
  AllocateWindowBuffer(data);
}

void LoadSettings(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  kd.LocalParams = kd.Settings;
  switch (data.BlockCheckMethod) {
    case bcmChecksum:
      kd.LocalParams.CheckType = '1';
      break;
    case bcmChecksum2:
      kd.LocalParams.CheckType = '2';
      break;
    case bcmCrcK:
      kd.LocalParams.CheckType = '3';
      break;
    default:
      break;
  }
  SizeWindowFromParams(data);
}

std::int32_t KermitInit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  auto kd = std::make_unique<TKermitData>();
  kd->InBuf.assign(kKermitInBufSize, 0);
  kd->WorkBlock.assign(kKermitDataSize, 0);
  kd->DataBuffer.assign(kKermitDataSize, 0);
  data.DataBlock = kd->DataBuffer.data();
  data.Engine = std::move(kd);
  data.ProtocolType = ptKermit;
  data.FileOffset = 0;
  data.EngineFlag = -1;
  SetDefaultFileProcs(data);
  data.FinishWritingProc = &KermitFinishWriting;
  data.BlockCheckMethod = CheckTypeToMethod(Kermit(data).LocalParams.CheckType);
  SizeWindowFromParams(data);
  return 0;
}

void KermitDone(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (dynamic_cast<TKermitData*>(data.Engine.get()) == nullptr) return;
  data.DataBlock = nullptr;
  data.Engine.reset();
}

std::int32_t SetKermitMaxLen(TProtocolData& data, std::uint32_t len) {
  // Below the minimum no data byte would fit beside the header and check.
  if (KermitPart(data) != nullptr && (len > kKermitMaxNormalLen || len < kKermitMinLen)) {
    return kBadArgument;
  }
  return ChangeSettings(data, [len](TKermitParams& p) { p.MaxLen = static_cast<std::uint8_t>(len); });
}

std::int32_t SetKermitMaxLongLen(TProtocolData& data, std::uint32_t len) {
  if (KermitPart(data) != nullptr &&
      (len > static_cast<std::uint32_t>(kKermitDataSize) || (len != 0 && len < kKermitMinLen))) {
    return kBadArgument;
  }
  return ChangeSettings(data, [&data, len](TKermitParams& p) {
    if (len != 0) {
      data.Options |= kOptKermitLongPackets;
      p.Capabilities |= kCapLongPackets;
      // Long packets deserve more than a one-character checksum.
      if (data.BlockCheckMethod == bcmChecksum) data.BlockCheckMethod = bcmChecksum2;
    } else {
      data.Options &= ~kOptKermitLongPackets;
      p.Capabilities &= static_cast<std::uint8_t>(~kCapLongPackets);
    }
    p.MaxLongLen = static_cast<std::int32_t>(len);
  });
}

std::int32_t SetKermitMaxWindows(TProtocolData& data, std::uint32_t windows) {
  if (KermitPart(data) != nullptr && windows > static_cast<std::uint32_t>(kKermitMaxWindows)) {
    return kBadArgument;
  }
  return ChangeSettings(data, [&data, windows](TKermitParams& p) {
    if (windows != 0) {
      data.Options |= kOptKermitSlidingWindows;
      p.Capabilities |= kCapSlidingWindows;
    } else {
      data.Options &= ~kOptKermitSlidingWindows;
      p.Capabilities &= static_cast<std::uint8_t>(~kCapSlidingWindows);
    }
    p.WindowSize = static_cast<std::uint8_t>(windows & 0x1F);
  });
}

std::int32_t SetKermitSWCTurnDelay(TProtocolData& data, std::uint32_t ms) {
  TKermitData* kd = KermitPart(data);
  if (kd == nullptr) return kNotSupported;
  platform::Locker lock(data.Lock);
  kd->SWCTurnDelay = static_cast<std::int32_t>(ms);
  return 0;
}

std::int32_t SetKermitTimeoutSecs(TProtocolData& data, std::uint32_t seconds) {
  return ChangeSettings(data,
                        [seconds](TKermitParams& p) { p.TimeoutSecs = static_cast<std::uint8_t>(seconds); });
}

std::int32_t SetKermitPadding(TProtocolData& data, std::uint8_t pad_char, std::uint32_t count) {
  return ChangeSettings(data, [pad_char, count](TKermitParams& p) {
    p.PadChar = pad_char;
    p.PadCount = static_cast<std::uint8_t>(count);
  });
}

std::int32_t SetKermitTerminator(TProtocolData& data, std::uint8_t c) {
  return ChangeSettings(data, [c](TKermitParams& p) { p.Terminator = c; });
}

std::int32_t SetKermitCtlPrefix(TProtocolData& data, std::uint8_t c) {
  return ChangeSettings(data, [c](TKermitParams& p) { p.CtlPrefix = c; });
}

std::int32_t SetKermitHibitPrefix(TProtocolData& data, std::uint8_t c) {
  return ChangeSettings(data, [c](TKermitParams& p) { p.HibitPrefix = c; });
}

std::int32_t SetKermitRepeatPrefix(TProtocolData& data, std::uint8_t c) {
  return ChangeSettings(data, [c](TKermitParams& p) { p.RepeatPrefix = c; });
}

}  // namespace qor
