#pragma once
// The receive window: data packets wait in the slots, still encoded, until
// they leave the window and are decoded into the file.
#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Places the data packet just collected in the window, acknowledges it and
// asks again for packets it passed over. A packet behind the window is
// ignored. Sets ProtocolError when the file cannot be written or a packet
// would leave the window unreceived (-6013).
void StoreDataPacket(TProtocolData& data);

// Writes every packet still in the window to the file, oldest first; -6013
// when one of them never arrived.
void WriteOutWindow(TProtocolData& data);

}  // namespace qor
