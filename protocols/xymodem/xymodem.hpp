#pragma once
// The Xmodem and Ymodem engines as the protocol component sees them: the
// record part, the switches and the prepare routines and handlers of both
// directions.
#include <cstdint>

#include "protocols/xymodem/xymodem_data.hpp"

namespace qor {

// Puts a fresh Xmodem part into the record with the three switches; 0.
std::int32_t XmodemInit(TProtocolData& data, bool crc, bool one_k, bool streaming);
// Puts a fresh Ymodem part (CRC on) into the record; 0.
std::int32_t YmodemInit(TProtocolData& data, bool one_k, bool streaming);
// Releases either part.
void XYmodemDone(TProtocolData& data);

// The switches and the block wait: -6015 unless the record holds one of the
// Xmodem types or Ymodem, else 0. Each switch recomputes the record's type.
std::int32_t SetXmodemCrc(TProtocolData& data, bool on);
std::int32_t SetXmodem1K(TProtocolData& data, bool on);
std::int32_t SetXmodemG(TProtocolData& data, bool on);
std::int32_t SetXYmodemBlockWait(TProtocolData& data, std::uint32_t ticks);
// The type the switches stand for (ptXmodem ... ptYmodemG).
TProtocolType XYmodemTypeOf(const TXYmodemData& xy);

// Xmodem: StartProtocol(data, type, XmodemTransmitHandler, XmodemPrepareTransmit), and
// likewise for receiving; FileName names the one file.
void XmodemPrepareTransmit(TProtocolData& data);
void XmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
void XmodemPrepareReceive(TProtocolData& data);
void XmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

// Ymodem: the files come from the next-file routine; received ones land in
// DestinationDirectory.
void YmodemPrepareTransmit(TProtocolData& data);
void YmodemTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
void YmodemPrepareReceive(TProtocolData& data);
void YmodemReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace qor
