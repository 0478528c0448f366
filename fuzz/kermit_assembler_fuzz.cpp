// The Kermit header and data assemblers over arbitrary characters, split at
// arbitrary points, with each check type in force.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/kermit/kermit_input.hpp"

using namespace qor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::unique_ptr<TProtocolData> data;
  InitProtocolData(data, nullptr, 0);
  KermitInit(*data);
  TKermitData& kd = Kermit(*data);
  // The input's length picks the agreed check type and the split points.
  kd.LocalParams.CheckType = static_cast<std::uint8_t>('1' + size % 3);
  kd.Negotiated = size % 4 != 0;
  const std::size_t piece = 1 + size % 97;

  bool collecting = false;
  for (std::size_t at = 0; at < size;) {
    const auto n = static_cast<std::int32_t>(std::min(piece, size - at));
    const std::int32_t taken = InBufAppend(kd, bytes + at, n);
    // The assemblers below empty InBuf, so there is always room again.
    if (taken == 0) std::abort();
    at += static_cast<std::size_t>(taken);
    // Assemble until the characters run out, as the receive states do.
    for (;;) {
      if (!collecting) {
        CollectHeader(*data);
        if (data->ProtocolStatus != psGotHeader) break;
        kd.HeaderState = 0;
        StartCollectingData(kd);
        collecting = true;
      }
      CollectData(*data);
      if (data->ProtocolStatus == psNoData) break;
      collecting = false;
      if (kd.RxDataLen < 0 || kd.RxDataLen > kKermitDataSize) std::abort();
    }
  }
  KermitDone(*data);
  DoneProtocolData(data);
  return 0;
}
