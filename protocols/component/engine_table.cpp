#include "protocols/component/engine_table.hpp"

#include "protocols/kermit/kermit.hpp"
#include "protocols/zmodem/zmodem.hpp"

namespace qor {

namespace {

std::int32_t NotSupported(TProtocolData&, TProtocolType) { return -6015; }
void NothingToRelease(TProtocolData&) {}

std::int32_t InitKermit(TProtocolData& data, TProtocolType) { return KermitInit(data); }
std::int32_t InitZmodem(TProtocolData& data, TProtocolType) { return ZmodemInit(data); }

constexpr TEngineEntry kMissing{&NotSupported, &NothingToRelease, nullptr, nullptr, nullptr,
                                nullptr};
constexpr TEngineEntry kKermit{&InitKermit,          &KermitDone,
                               &KermitPrepareTransmit, &KermitTransmitHandler,
                               &KermitPrepareReceive,  &KermitReceiveHandler};
constexpr TEngineEntry kZmodem{&InitZmodem,          &ZmodemDone,
                               &ZmodemPrepareTransmit, &ZmodemTransmitHandler,
                               &ZmodemPrepareReceive,  &ZmodemReceiveHandler};

}  // namespace

const TEngineEntry* EngineFor(TProtocolType type) {
  switch (type) {
    case ptNoProtocol:
      return nullptr;
    case ptKermit:
      return &kKermit;
    case ptZmodem:
      return &kZmodem;
    default:
      return &kMissing;
  }
}

}  // namespace qor
