#pragma once
// The ASCII engine as the protocol component sees it: the record part, the
// option setters and the prepare routines and handlers of both directions.
#include <cstdint>

#include "protocols/ascii/ascii_data.hpp"

namespace qor {

// Puts a fresh ASCII part into the record (block length 60, no block check); 0.
std::int32_t AsciiInit(TProtocolData& data);
void AsciiDone(TProtocolData& data);

// Option setters: -6015 when the record is not ASCII's, else 0.
std::int32_t SetAsciiDelays(TProtocolData& data, std::uint32_t char_delay_ms,
                            std::uint32_t line_delay_ms);
std::int32_t SetAsciiEOLChar(TProtocolData& data, std::uint8_t c);
std::int32_t SetAsciiEOLTranslation(TProtocolData& data, TAsciiEOLTranslation cr,
                                    TAsciiEOLTranslation lf);
std::int32_t SetAsciiEOFTimeout(TProtocolData& data, std::uint32_t ticks);

// Transmit: StartProtocol(data, ptAscii, AsciiTransmitHandler, AsciiPrepareTransmit).
void AsciiPrepareTransmit(TProtocolData& data);
void AsciiTransmitHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

// Receive into FileName: StartProtocol(data, ptAscii, AsciiReceiveHandler, AsciiPrepareReceive).
void AsciiPrepareReceive(TProtocolData& data);
void AsciiReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace qor
