#include "protocols/component/engine_table.hpp"

#include "protocols/ascii/ascii.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/xymodem/xymodem.hpp"
#include "protocols/zmodem/zmodem.hpp"

namespace qor {

namespace {

std::int32_t NotSupported(TProtocolData&, TProtocolType) { return -6015; }
void NothingToRelease(TProtocolData&) {}

std::int32_t InitKermit(TProtocolData& data, TProtocolType) { return KermitInit(data); }
std::int32_t InitXmodem(TProtocolData& data, TProtocolType type) {
  return XmodemInit(data, type != ptXmodem, type == ptXmodem1K, type == ptXmodem1KG);
}
std::int32_t InitYmodem(TProtocolData& data, TProtocolType type) {
  return YmodemInit(data, true, type == ptYmodemG);
}
std::int32_t InitZmodem(TProtocolData& data, TProtocolType) { return ZmodemInit(data); }

constexpr TEngineEntry kMissing{&NotSupported, &NothingToRelease, nullptr, nullptr, nullptr,
                                nullptr};
constexpr TEngineEntry kKermit{&InitKermit,          &KermitDone,
                               &KermitPrepareTransmit, &KermitTransmitHandler,
                               &KermitPrepareReceive,  &KermitReceiveHandler};
constexpr TEngineEntry kXmodem{&InitXmodem,           &XYmodemDone,
                               &XmodemPrepareTransmit, &XmodemTransmitHandler,
                               &XmodemPrepareReceive,  &XmodemReceiveHandler};
constexpr TEngineEntry kYmodem{&InitYmodem,           &XYmodemDone,
                               &YmodemPrepareTransmit, &YmodemTransmitHandler,
                               &YmodemPrepareReceive,  &YmodemReceiveHandler};
constexpr TEngineEntry kZmodem{&InitZmodem,          &ZmodemDone,
                               &ZmodemPrepareTransmit, &ZmodemTransmitHandler,
                               &ZmodemPrepareReceive,  &ZmodemReceiveHandler};

std::int32_t InitAscii(TProtocolData& data, TProtocolType) { return AsciiInit(data); }
constexpr TEngineEntry kAscii{&InitAscii,           &AsciiDone,
                              &AsciiPrepareTransmit, &AsciiTransmitHandler,
                              &AsciiPrepareReceive,  &AsciiReceiveHandler};

}  // namespace

const TEngineEntry* EngineFor(TProtocolType type) {
  switch (type) {
    case ptNoProtocol:
      return nullptr;
    case ptKermit:
      return &kKermit;
    case ptXmodem:
    case ptXmodemCRC:
    case ptXmodem1K:
    case ptXmodem1KG:
      return &kXmodem;
    case ptYmodem:
    case ptYmodemG:
      return &kYmodem;
    case ptZmodem:
      return &kZmodem;
    case ptAscii:
      return &kAscii;
    default:
      return &kMissing;
  }
}

}  // namespace qor
