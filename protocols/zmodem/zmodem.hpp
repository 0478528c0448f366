#pragma once
// The Zmodem engine as the protocol component sees it: the record part, the
// option setters and getters, and the prepare routines and handlers of both
// directions.
#include <cstdint>

#include "protocols/zmodem/zmodem_data.hpp"

namespace qor {

// Puts a fresh Zmodem part into the record; returns 0.
std::int32_t ZmodemInit(TProtocolData& data);
// Releases the Zmodem part and its buffers.
void ZmodemDone(TProtocolData& data);

// Option setters: -6015 when the record is not Zmodem's, else 0. They apply
// to the next transfer.
std::int32_t SetZmodem8K(TProtocolData& data, bool on);
std::int32_t SetZmodemFinishRetry(TProtocolData& data, std::uint32_t retries);
std::int32_t SetZmodemOptionOverride(TProtocolData& data, bool on);
std::int32_t SetZmodemRecover(TProtocolData& data, bool on);
std::int32_t SetZmodemEscControl(TProtocolData& data, bool on);
// The file-management option: the low 7 bits a TZmodemFileOptions value,
// bit 0x80 skip a file that does not exist here.
std::int32_t SetZmodemFileOption(TProtocolData& data, std::uint8_t option);
// The engine's current file-management option byte; -6015 when not Zmodem's.
std::int32_t ZmodemFileOptionOf(TProtocolData& data);

// Transmit: StartProtocol(data, ptZmodem, ZmodemTransmitHandler, ZmodemPrepareTransmit).
void ZmodemPrepareTransmit(TProtocolData& data);
void ZmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

// Receive: StartProtocol(data, ptZmodem, ZmodemReceiveHandler, ZmodemPrepareReceive).
void ZmodemPrepareReceive(TProtocolData& data);
void ZmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

// The engine's PrepareWritingProc and FinishWritingProc: the received file
// opened by the file-management rules (and at the resume position), and
// closed with the sender's date.
void ZmodemPrepareWriting(TProtocolData& data);
void ZmodemFinishWriting(TProtocolData& data);

}  // namespace qor
