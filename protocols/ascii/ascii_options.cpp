#include <memory>

#include "protocols/ascii/ascii.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kNotSupported = -6015;

}  // namespace

std::int32_t AsciiInit(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  data.Engine = std::make_unique<TAsciiData>();
  data.ProtocolType = ptAscii;
  data.BlockLength = kAsciiBlockLength;
  data.BlockCheckMethod = bcmNone;
  SetDefaultFileProcs(data);
  return 0;
}

void AsciiDone(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  if (dynamic_cast<TAsciiData*>(data.Engine.get()) != nullptr) data.Engine.reset();
}

std::int32_t SetAsciiDelays(TProtocolData& data, std::uint32_t char_delay_ms,
                            std::uint32_t line_delay_ms) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPart(data);
  if (ad == nullptr) return kNotSupported;
  ad->CharDelay = char_delay_ms;
  ad->LineDelay = line_delay_ms;
  ad->CharDelayTicks = DelayTicks(char_delay_ms);
  ad->LineDelayTicks = DelayTicks(line_delay_ms);
  return 0;
}

std::int32_t SetAsciiEOLChar(TProtocolData& data, std::uint8_t c) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPart(data);
  if (ad == nullptr) return kNotSupported;
  ad->EOLChar = c;
  return 0;
}

std::int32_t SetAsciiEOLTranslation(TProtocolData& data, TAsciiEOLTranslation cr,
                                    TAsciiEOLTranslation lf) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPart(data);
  if (ad == nullptr) return kNotSupported;
  ad->CRTranslation = cr;
  ad->LFTranslation = lf;
  return 0;
}

std::int32_t SetAsciiEOFTimeout(TProtocolData& data, std::uint32_t ticks) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPart(data);
  if (ad == nullptr) return kNotSupported;
  ad->EOFTimeout = static_cast<std::int32_t>(ticks);
  return 0;
}

}  // namespace qor
