#pragma once
// The routines every engine shares: the record's life, starting and finishing
// a transfer, reporting, the default file routines, block checks, conversions.
#include <cstdint>
#include <memory>
#include <string>

#include "protocols/core/protocol_data.hpp"

namespace qor {

// ---- The record
// Creates the zero-filled record with its defaults; returns 0.
std::int32_t InitProtocolData(std::unique_ptr<TProtocolData>& data, TQorCustomComPort* port,
                              std::uint32_t options);
void DoneProtocolData(std::unique_ptr<TProtocolData>& data);
void SetMessageWindow(TProtocolData& data, platform::WindowHandle window);
void SetComPort(TProtocolData& data, TQorCustomComPort* port);
void UpdateCharsPerSecond(TProtocolData& data, std::int32_t baud);
void SetPathName(TProtocolData& data, const std::string& name);

// ---- A transfer
// Starts the engine (handler, prepare) on the record's open com port.
void StartProtocol(TProtocolData& data, std::int32_t protocol_type, TProtocolHandler handler,
                   TPrepareProc prepare);
// Sends the error message with code, then sets ProtocolError.
void ReportProtocolError(TProtocolData& data, std::int32_t code);
// Removes triggers and handler, closes file and search, maps the status to an
// error code, logs it and posts the finish message.
void FinishProtocol(TProtocolData& data);
void ShowFirstStatus(TProtocolData& data);
void ShowLastStatus(TProtocolData& data);
void ResetStatus(TProtocolData& data);

// The record behind a trigger message's lParam (user slot 1 of the dispatcher
// whose handle is in its high word), or nullptr.
TProtocolData* ProtocolDataFromLParam(std::intptr_t lparam);
// Status pacing at the top of a handler call; true when the call ends here
// (the message was the status timer).
bool PaceStatus(TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam);
// How many received bytes the engine can use at once (at least 1): the avail
// notice waits for them, so a packet that comes in many small pieces runs
// the engine once rather than for each. The start sets 1.
void AskForInput(TProtocolData& data, std::int32_t bytes);

// ---- Figures for the component
std::int32_t ReportedBytesTransferred(TProtocolData& data);
std::int32_t ReportedBytesRemaining(TProtocolData& data);
std::int32_t EstimateTransferSeconds(const TProtocolData& data, std::int32_t bytes);

// ---- Default routines (the message senders and the file routines)
void SendStatusMessage(TProtocolData& data, std::uint32_t options);
void SendLogMessage(TProtocolData& data, std::uint32_t code);
bool SendNextFileMessage(TProtocolData& data, char* name);
bool SendAcceptFileMessage(TProtocolData& data, char* name);
bool NextFileFromMask(TProtocolData& data, char* name);
void PrepareReading(TProtocolData& data);
bool ReadFileBlock(TProtocolData& data, std::uint8_t* dest, std::int32_t& count);
void FinishReading(TProtocolData& data);
void PrepareWriting(TProtocolData& data);
bool WriteFileBlock(TProtocolData& data, const std::uint8_t* source, std::int32_t count);
void FinishWriting(TProtocolData& data);
// Opens PathName for writing from offset on, the bytes before it kept (at 0
// the file is created empty), with the write buffer there: what PrepareWriting
// does once it has decided, for engines with rules of their own.
void OpenFileForWriting(TProtocolData& data, std::int32_t offset);
// Sets the six file procedures to the defaults above.
void SetDefaultFileProcs(TProtocolData& data);
// The byte that pads the end of the read buffer (initially 0x1A).
extern std::uint8_t g_PadByte;

// ---- Block checks
std::uint32_t UpdateChecksum(std::uint8_t byte, std::uint32_t sum);
std::uint16_t UpdateCrc16(std::uint8_t byte, std::uint16_t crc);
std::uint32_t UpdateCrc32(std::uint8_t byte, std::uint32_t crc);
std::uint16_t UpdateCrcKermit(std::uint8_t byte, std::uint16_t crc);
// The same checks over a run of bytes.
std::uint32_t UpdateCrc32Run(const std::uint8_t* bytes, std::size_t n, std::uint32_t crc);
std::uint16_t UpdateCrc16Run(const std::uint8_t* bytes, std::size_t n, std::uint16_t crc);
std::uint32_t FileCrc32(TProtocolData& data, const std::string& file_name, std::int32_t limit);

// ---- Conversions and names
std::int32_t FileDateToUnixSeconds(std::int32_t file_date);
std::int32_t UnixSecondsToFileDate(std::int32_t seconds);
std::int32_t CurrentUnixSeconds();
std::string OctalString(std::uint32_t value);
std::uint32_t OctalValue(const std::string& text);
std::string ProtocolName(std::int32_t type);
std::string BlockCheckName(std::int32_t method);
std::string MinutesSeconds(std::int32_t seconds);
std::string StatusText(std::int32_t code);

// ---- Names
// The name part of a path: what follows the last '/', '\' or ':'.
std::string JustFileName(const std::string& path);

}  // namespace qor
