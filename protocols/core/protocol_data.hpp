#pragma once
// The protocol record shared by every transfer engine, and the types around it.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/dispatcher/triggers.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/platform/sync.hpp"

namespace qor {

class TQorCustomComPort;

enum TProtocolType : std::int32_t {
  ptNoProtocol = 0,
  ptXmodem = 1,
  ptXmodemCRC = 2,
  ptXmodem1K = 3,
  ptXmodem1KG = 4,
  ptYmodem = 5,
  ptYmodemG = 6,
  ptZmodem = 7,
  ptKermit = 8,
  ptAscii = 9,
};

enum TBlockCheckMethod : std::int32_t {
  bcmNone = 0,
  bcmChecksum = 1,
  bcmChecksum2 = 2,
  bcmCrc16 = 3,
  bcmCrc32 = 4,
  bcmCrcK = 5,
};

enum TWriteFailAction : std::int32_t {
  wfWriteNone = 0,
  wfWriteFail = 1,
  wfWriteRename = 2,
  wfWriteAnyway = 3,
  wfWriteResume = 4,
};

// Bits of TProtocolData::Options.
inline constexpr std::uint32_t kOptIncludeDirectory = 0x01;
inline constexpr std::uint32_t kOptHonorDirectory = 0x02;
inline constexpr std::uint32_t kOptRTSLowForWrite = 0x04;
inline constexpr std::uint32_t kOptAbortNoCarrier = 0x08;
inline constexpr std::uint32_t kOptKermitLongPackets = 0x10;
inline constexpr std::uint32_t kOptKermitSlidingWindows = 0x20;
inline constexpr std::uint32_t kOptBP2KTransmit = 0x80;
inline constexpr std::uint32_t kOptAsciiSuppressCtrlZ = 0x100;

// Messages from an engine to the protocol component's message window, and the
// component's cancel request to an engine's handler.
inline constexpr std::uint32_t kMsgProtocolCancel = 0x7E14;
inline constexpr std::uint32_t kMsgProtocolStatus = 0x7E15;
inline constexpr std::uint32_t kMsgProtocolLog = 0x7E16;
inline constexpr std::uint32_t kMsgProtocolNextFile = 0x7E17;
inline constexpr std::uint32_t kMsgProtocolAcceptFile = 0x7E18;
inline constexpr std::uint32_t kMsgProtocolFinish = 0x7E19;
inline constexpr std::uint32_t kMsgProtocolResume = 0x7E1A;
inline constexpr std::uint32_t kMsgProtocolError = 0x7E1B;

// Status options of the status message.
inline constexpr std::uint32_t kStatusPlain = 0;
inline constexpr std::uint32_t kStatusFirst = 1;
inline constexpr std::uint32_t kStatusLast = 2;

// Log codes of the log message.
enum TProtocolLogCode : std::uint32_t {
  lfReceiveStart = 0,
  lfReceiveOk = 1,
  lfReceiveFail = 2,
  lfReceiveSkip = 3,
  lfTransmitStart = 4,
  lfTransmitOk = 5,
  lfTransmitFail = 6,
  lfTransmitSkip = 7,
};

// Protocol status codes (their texts are in the message table).
enum TProtocolStatusCode : std::int32_t {
  psOK = 4700,
  psProtocolHandshake = 4701,
  psInvalidDate = 4702,
  psFileRejected = 4703,
  psFileRenamed = 4704,
  psSkipFile = 4705,
  psFileDoesntExist = 4706,
  psCantWriteFile = 4707,
  psTimeout = 4708,
  psBlockCheckError = 4709,
  psLongPacket = 4710,
  psDuplicateBlock = 4711,
  psProtocolError = 4712,
  psCancelRequested = 4713,
  psEndFile = 4714,
  psResumeBad = 4715,
  psSequenceError = 4716,
  psAbortNoCarrier = 4717,
  psGotCrcE = 4718,
  psGotCrcG = 4719,
  psGotCrcW = 4720,
  psGotCrcQ = 4721,
  psTryResume = 4722,
  psHostResume = 4723,
  psWaitAck = 4724,
  psNoHeader = 4725,
  psGotHeader = 4726,
  psGotData = 4727,
  psNoData = 4728,
  psAbort = 4730,
};

inline constexpr std::size_t kPathSize = 256;  // names are at most 255 characters

// A counter the engine writes in the dispatch thread while the application's
// thread reads it for progress displays: single reads and writes are atomic,
// nothing more is promised (a display may mix values of two moments).
template <class T>
class Relaxed {
 public:
  Relaxed(T value = T{}) : value_(value) {}  // NOLINT: used like the plain value
  Relaxed(const Relaxed& other) : value_(other.load()) {}
  Relaxed& operator=(const Relaxed& other) {
    store(other.load());
    return *this;
  }
  Relaxed& operator=(T value) {
    store(value);
    return *this;
  }
  operator T() const { return load(); }  // NOLINT
  Relaxed& operator+=(T delta) {
    value_.fetch_add(delta, std::memory_order_relaxed);
    return *this;
  }
  Relaxed& operator-=(T delta) {
    value_.fetch_sub(delta, std::memory_order_relaxed);
    return *this;
  }
  Relaxed& operator++() { return *this += 1; }
  Relaxed& operator--() { return *this -= 1; }
  T load() const { return value_.load(std::memory_order_relaxed); }
  void store(T value) { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};
inline constexpr std::int32_t kFileBufferSize = 8192;

struct TProtocolData;

// An engine's data beyond the common part (Kermit's, Zmodem's, ...).
struct TEngineData {
  virtual ~TEngineData() = default;
};

using TProtocolHandler = TTriggerProc;  // called by the dispatcher for every trigger
using TPrepareProc = void (*)(TProtocolData& data);
using TStatusProc = void (*)(TProtocolData& data, std::uint32_t options);
using TLogProc = void (*)(TProtocolData& data, std::uint32_t code);
// name: a kPathSize buffer; true when it holds the next file / the file is accepted.
using TNextFileProc = bool (*)(TProtocolData& data, char* name);
using TAcceptFileProc = bool (*)(TProtocolData& data, char* name);
using TPrepareFileProc = void (*)(TProtocolData& data);
// Both return true to mean stop: end of file reached or an error reported.
using TReadBlockProc = bool (*)(TProtocolData& data, std::uint8_t* dest, std::int32_t& count);
using TWriteBlockProc = bool (*)(TProtocolData& data, const std::uint8_t* source,
                                 std::int32_t count);
using TFinishFileProc = void (*)(TProtocolData& data);

// The open work file.
struct TWorkFile {
  int fd = -1;
  std::string name;
};

// An open search over SearchMask: the matches, in order, and the next one.
struct TSearchRec {
  std::vector<std::string> matches;
  std::size_t next = 0;
};

// The record every engine works on. Created by InitProtocolData and owned by
// the protocol component; the engine part lives in Engine.
struct TProtocolData {
  std::int32_t StatusTimerTrigger = 0;
  std::int32_t TimeoutTrigger = 0;
  std::int32_t OutBuffFreeTrigger = 0;
  std::int32_t OutBuffUsedTrigger = 0;
  std::int32_t CarrierTrigger = 0;
  std::int32_t AvailWanted = 1;  // the avail threshold as the engine last asked
  platform::WindowHandle MessageWindow = platform::WindowHandle::None;
  TQorCustomComPort* ComPort = nullptr;
  std::int32_t EngineFlag = 0;  // free for the engine; Kermit sets it to -1
  bool FileActive = false;
  std::int32_t ProtocolType = ptNoProtocol;
  std::int32_t BlockCheckMethod = bcmNone;
  std::uint32_t HandshakeRetry = 10;
  std::int32_t HandshakeWait = 182;  // ticks
  Relaxed<std::int32_t> BlockLength = 128;
  std::int32_t BlockNumber = 0;
  std::uint32_t Options = 0;
  std::int32_t TransmitTimeout = 1092;  // ticks
  std::int32_t FinishWait = 0;          // ticks
  std::int32_t ProtocolStatus = psOK;
  std::int32_t ActualBlockLength = 0;
  std::int32_t ProtocolError = 0;
  Relaxed<std::int32_t> FileLength = 0;
  std::int32_t FileDate = 0;  // packed date-time
  std::uint32_t BlockCheckValue = 0;
  std::uint8_t* DataBlock = nullptr;  // the engine's packet data buffer
  TProtocolHandler HandlerEntry = nullptr;
  platform::CriticalSection Lock;  // held by the handler for the whole of one call
  bool ForceStatus = false;
  Relaxed<std::int32_t> InProgress = 0;
  std::int32_t BlockErrors = 0;
  std::int32_t TotalErrors = 0;
  std::int32_t CharsPerSecond = 0;
  Relaxed<std::int32_t> Overhead = 0;
  std::int32_t TurnDelay = 0;  // ms
  std::int32_t StatusInterval = 10;  // ticks
  std::int32_t SavedStatus = 0;
  std::int32_t RemainingCount = 0;
  Relaxed<std::int32_t> TransferredCount = 0;
  Relaxed<std::int32_t> InitialPosition = 0;  // where the current file's transfer began
  std::int32_t ElapsedTicks = 0;
  TTickTimer TransferTimer;
  bool ReadAtEnd = false;
  bool FileOpen = false;
  std::int32_t WriteFailAction = wfWriteRename;
  std::int32_t BufferStart = 0;
  std::int32_t BufferEnd = 0;
  std::int32_t LastOffset = 0;
  std::int32_t FileOffset = 0;
  std::int32_t EndOffset = 0;
  std::unique_ptr<std::uint8_t[]> FileBuffer;  // kFileBufferSize bytes while a file is open
  std::uint8_t SavedFileMode = 0;
  bool UpcaseFileNames = true;
  bool FirstFind = false;
  std::int32_t EngineStartWord = 0;  // set to 2 by StartProtocol
  std::array<char, kPathSize> PathName{};
  std::array<char, kPathSize> SearchMask{};
  TSearchRec SearchRec;
  bool Searching = false;
  TStatusProc StatusProc = nullptr;
  TLogProc LogProc = nullptr;
  TNextFileProc NextFileProc = nullptr;
  TAcceptFileProc AcceptFileProc = nullptr;
  TPrepareFileProc PrepareReadingProc = nullptr;
  TReadBlockProc ReadBlockProc = nullptr;
  TFinishFileProc FinishReadingProc = nullptr;
  TPrepareFileProc PrepareWritingProc = nullptr;
  TWriteBlockProc WriteBlockProc = nullptr;
  TFinishFileProc FinishWritingProc = nullptr;
  TWorkFile WorkFile;
  // The file PrepareWriting created in this transfer; empty when none.
  std::string WrittenFile;
  std::array<char, kPathSize> DestinationDirectory{};
  std::unique_ptr<TEngineData> Engine;

  template <class T>
  T& EngineAs() {
    return static_cast<T&>(*Engine);
  }
};

}  // namespace qor
