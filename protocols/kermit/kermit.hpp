#pragma once
// The Kermit engine as the protocol component sees it: the record part, the
// option setters and the prepare routines and handlers of both directions.
#include <cstdint>

#include "protocols/kermit/kermit_data.hpp"

namespace qor {

// Puts a fresh Kermit part into the record with its buffers; returns 0.
std::int32_t KermitInit(TProtocolData& data);
// Releases the Kermit part and its buffers.
void KermitDone(TProtocolData& data);

// Option setters: -6015 when the record is not Kermit's, -1002 for a value
// out of range, else 0. They apply between transfers.
std::int32_t SetKermitMaxLen(TProtocolData& data, std::uint32_t len);
std::int32_t SetKermitMaxLongLen(TProtocolData& data, std::uint32_t len);
std::int32_t SetKermitMaxWindows(TProtocolData& data, std::uint32_t windows);
std::int32_t SetKermitSWCTurnDelay(TProtocolData& data, std::uint32_t ms);
std::int32_t SetKermitTimeoutSecs(TProtocolData& data, std::uint32_t seconds);
std::int32_t SetKermitPadding(TProtocolData& data, std::uint8_t pad_char, std::uint32_t count);
std::int32_t SetKermitTerminator(TProtocolData& data, std::uint8_t c);
std::int32_t SetKermitCtlPrefix(TProtocolData& data, std::uint8_t c);
std::int32_t SetKermitHibitPrefix(TProtocolData& data, std::uint8_t c);
std::int32_t SetKermitRepeatPrefix(TProtocolData& data, std::uint8_t c);

// Transmit: StartProtocol(data, ptKermit, KermitTransmitHandler, KermitPrepareTransmit).
void KermitPrepareTransmit(TProtocolData& data);
void KermitTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

// Receive: StartProtocol(data, ptKermit, KermitReceiveHandler, KermitPrepareReceive).
void KermitPrepareReceive(TProtocolData& data);
void KermitReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
// The engine's FinishWritingProc: closes the received file, and deletes it
// when the sender asked to discard it.
void KermitFinishWriting(TProtocolData& data);

// Sliding-window slots now holding an unacknowledged packet.
std::int32_t KermitWindowsInUse(TProtocolData& data);

}  // namespace qor
