#pragma once
// What both directions do on the line: frames out, characters in, the
// attention string, the cancel sequence, time-outs and error counting.
#include <cstdint>

#include "protocols/zmodem/zmodem_data.hpp"
#include "protocols/zmodem/zmodem_frames.hpp"

namespace qor {

// What a handler call brings.
enum class TZEvent : std::uint8_t { Data, Timeout, OutFree, OutEmpty, OtherTrigger };
TZEvent EventOf(const TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam);

// How a handler call goes on after a step: at once, while characters wait
// (as a data event), not until the next event, or while the output buffer
// takes whole blocks (the sender's data phase).
enum class TZPace : std::uint8_t { AtOnce, WhileInput, Wait, Stream };

void SendHexHeader(TProtocolData& data, std::uint8_t type, const TZHeaderBytes& bytes);
void SendBinaryHeader(TProtocolData& data, std::uint8_t type, const TZHeaderBytes& bytes);
// A short subpacket (file information, ZSINIT data) with the CRC in force.
void SendSubpacket(TProtocolData& data, const std::uint8_t* bytes, std::int32_t len,
                   std::uint8_t end, bool crc32);
// Sends the attention string: 221 a break, 222 a pause of 18 ticks.
void SendAttention(TProtocolData& data);
// Takes what waits in the output buffer back from the bytes transferred,
// flushes it and sends eight CANs and eight backspaces; status 4713.
void ZmodemCancel(TProtocolData& data);

void ArmTimeout(TProtocolData& data, std::int32_t ticks);
// A character waits at the port.
bool InputWaiting(TProtocolData& data);
void DiscardInput(TProtocolData& data);
void DiscardOutput(TProtocolData& data);

// Runs the header reader over the waiting characters: status 4726 (a header:
// Reader holds it), 4709 (bad CRC, counted as an error), 4713 (cancelled) or
// 4725 (none yet).
void ReadHeader(TProtocolData& data, TZmodemData& zd);
// Runs the data reader: 4718/4719/4720/4721 for the end markers, 4709 (bad
// CRC), 4710 (too long), 4713 (cancelled) or 4700 (not complete yet).
void ReadData(TProtocolData& data, TZmodemData& zd);
// Starts reading a subpacket into DataBlock.
void StartReadingData(TProtocolData& data, TZmodemData& zd);

// One more block and total error; true when the count has passed limit: then
// the cancel sequence is sent and -6008 reported.
bool CountRetry(TProtocolData& data, std::uint32_t limit);

// The state in the dispatch log, when the log is on.
void LogZmodemState(TProtocolData& data, const TZmodemData& zd);

// Position carried by the last header received.
inline std::int32_t HeaderPosition(const TZmodemData& zd) { return BytesPosition(zd.Reader.Bytes); }

}  // namespace qor
