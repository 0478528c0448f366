#include "protocols/component/engine_table.hpp"

#include "protocols/ascii/ascii.hpp"
#include "protocols/kermit/kermit.hpp"

namespace qor {

namespace {

std::int32_t NotSupported(TProtocolData&, TProtocolType) { return -6015; }
void NothingToRelease(TProtocolData&) {}

std::int32_t InitKermit(TProtocolData& data, TProtocolType) { return KermitInit(data); }

constexpr TEngineEntry kMissing{&NotSupported, &NothingToRelease, nullptr, nullptr, nullptr,
                                nullptr};
constexpr TEngineEntry kKermit{&InitKermit,          &KermitDone,
                               &KermitPrepareTransmit, &KermitTransmitHandler,
                               &KermitPrepareReceive,  &KermitReceiveHandler};

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
    case ptAscii:
      return &kAscii;
    default:
      return &kMissing;
  }
}

}  // namespace qor
