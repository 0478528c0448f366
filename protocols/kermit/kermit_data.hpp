#pragma once
// Kermit's part of the protocol record, its constants and character transforms.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "protocols/core/protocol_data.hpp"

namespace qor {

inline constexpr std::int32_t kKermitDataSize = 1024;   // DataBlock, WorkBlock
inline constexpr std::int32_t kKermitInBufSize = 4096;  // received characters
inline constexpr std::int32_t kKermitMaxWindows = 27;
inline constexpr std::int32_t kKermitMaxNormalLen = 94;
inline constexpr std::int32_t kKermitMinLen = 10;  // smallest packet worth announcing
inline constexpr std::int32_t kKermitInitDataLen = 13;
inline constexpr std::int32_t kKermitParamsSize = 20;
inline constexpr std::uint8_t kKermitMark = 0x01;

// Capability bits of the Send-Init.
inline constexpr std::uint8_t kCapLongPackets = 0x02;
inline constexpr std::uint8_t kCapSlidingWindows = 0x04;

// Transmit states 0-20, receive states 21-31.
enum TKermitState : std::uint8_t {
  tkInit,
  tkInitReply,
  tkCollInit,
  tkOpenFile,
  tkSendFile,
  tkFileReply,
  tkCollFile,
  tkCheckTable,
  tkSendData,
  tkBlockReply,
  tkCollBlock,
  tkSendEof,
  tkEofReply,
  tkCollectEof,
  tkSendBreak,
  tkBreakReply,
  tkCollBreak,
  tkComplete,
  tkWaitCancel,
  tkError,
  tkDone,
};

// Our Send-Init parameters as plain numbers and characters (20 bytes).
struct TKermitParams {
  std::uint8_t MaxLen = 80;
  std::uint8_t TimeoutSecs = 5;
  std::uint8_t PadCount = 0;
  std::uint8_t PadChar = 0;
  std::uint8_t Terminator = 13;
  std::uint8_t CtlPrefix = '#';
  std::uint8_t HibitPrefix = 'Y';
  std::uint8_t CheckType = '1';
  std::uint8_t RepeatPrefix = '~';
  std::uint8_t Capabilities = 0;
  std::uint8_t WindowSize = 0;
  std::uint8_t Spare = 0;
  std::int32_t MaxLongLen = 0;
  std::int32_t Spare2 = 0;
};
static_assert(sizeof(TKermitParams) == kKermitParamsSize);

// Positions in a received Send-Init data field (RemoteParams).
enum TKermitInitField : std::uint8_t {
  kfMaxLen = 0,
  kfTimeout = 1,
  kfPadCount = 2,
  kfPadChar = 3,
  kfTerminator = 4,
  kfCtlPrefix = 5,
  kfHibitPrefix = 6,
  kfCheckType = 7,
  kfRepeatPrefix = 8,
  kfCapabilities = 9,
  kfWindowSize = 10,
  kfMaxLongLen1 = 11,
  kfMaxLongLen2 = 12,
};

using TKermitRemoteParams = std::array<std::uint8_t, kKermitParamsSize>;

struct TKermitSlot {
  std::int32_t SlotLength = 0;  // data field length
  std::int32_t SlotSeq = 0;
  bool SlotInUse = false;
  bool SlotReceived = false;  // receive side
  std::int32_t SlotRetries = 0;
};

struct TKermitData : TEngineData {
  std::uint8_t RxPacketType = ' ';
  std::uint8_t KermitState = tkInit;
  std::uint8_t HeaderState = 0;  // 0-7
  std::uint8_t DataState = 0;    // 0-3
  bool Negotiated = false;  // before it, every packet uses check type 1
  bool LongPacketsInUse = false;
  bool HibitQuoting = false;
  bool RepeatCompression = false;
  bool ReceivingFile = false;
  bool CancelPending = false;  // a cancel waits for the reply to our last packet
  std::int32_t TxDataLen = 0;
  std::int32_t RxLen = 0;
  std::int32_t RxDataLen = 0;
  std::int32_t RepeatThreshold = 4;  // a run is compressed only when longer
  std::int32_t RxSeq = 0;
  std::int32_t LastSentSeq = 0;
  std::uint32_t KermitCrc = 0;
  std::int32_t SWCTurnDelay = 0;
  TKermitParams Settings;     // as the option setters left them
  TKermitParams LocalParams;  // this transfer's: Settings narrowed by negotiation
  TKermitRemoteParams RemoteParams{};  // as received, numbers still printable
  std::vector<std::uint8_t> InBuf;     // kKermitInBufSize
  std::int32_t InRead = 1;             // 1-based; InRead == InFill: empty
  std::int32_t InFill = 1;
  bool LastReadBlock = false;
  std::int32_t WorkCount = 0;
  std::int32_t WorkPos = 1;
  std::vector<std::uint8_t> WorkBlock;  // kKermitDataSize
  std::int32_t TableSize = 1;
  std::int32_t TableHead = 1;
  std::int32_t TableTail = 1;
  std::int32_t RxDataIndex = 1;
  std::int32_t SlotToSend = 1;
  std::vector<std::uint8_t> WindowBuffer;  // TableSize x BlockLength
  std::array<TKermitSlot, kKermitMaxWindows> Slots{};
  // Slots with SlotInUse set; read by the component without the lock.
  std::atomic<std::int32_t> SlotsInUse{0};
  std::uint8_t PacketCheckType = '1';
  std::array<std::uint8_t, 3> RxCheck{};
  bool FileRejected = false;
  bool RxLongHeader = false;
  std::int32_t HeaderSum = 0;
  std::uint32_t SavedCrc = 0;
  std::uint32_t SavedChecksum = 0;

  std::vector<std::uint8_t> DataBuffer;  // what DataBlock points at
  std::vector<std::uint8_t> Wire;        // the packet being written
};

inline TKermitData& Kermit(TProtocolData& data) { return data.EngineAs<TKermitData>(); }

// The protocol's character transforms.
constexpr std::uint8_t ToChar(std::int32_t x) { return static_cast<std::uint8_t>(x + 32); }
constexpr std::int32_t UnChar(std::uint8_t c) { return static_cast<std::int32_t>(c) - 32; }
constexpr std::uint8_t Ctl(std::uint8_t c) { return static_cast<std::uint8_t>(c ^ 64); }

constexpr std::int32_t NextSeq(std::int32_t n) { return (n + 1) & 63; }
constexpr std::int32_t PrevSeq(std::int32_t n) { return n == 0 ? 63 : n - 1; }

// A character that may serve as a prefix.
constexpr bool ValidPrefix(std::uint8_t c) {
  return (c >= 33 && c <= 62) || (c >= 96 && c <= 126);
}

// Characters of the block check of a check type "1".."3".
constexpr std::int32_t CheckLength(std::uint8_t check_type) {
  return check_type == '3' ? 3 : check_type == '2' ? 2 : 1;
}

// The check type of packets now: ours once negotiated, else "1".
inline std::uint8_t CurrentCheckType(const TKermitData& kd) {
  return kd.Negotiated ? kd.LocalParams.CheckType : std::uint8_t{'1'};
}

std::int32_t CheckTypeToMethod(std::uint8_t check_type);
// A WindowBuffer of TableSize x BlockLength bytes.
void AllocateWindowBuffer(TProtocolData& data);
// BlockLength and TableSize as LocalParams ask, with their WindowBuffer.
void SizeWindowFromParams(TProtocolData& data);
// A transfer's working parameters: the settings, with the check type that
// BlockCheckMethod names.
void LoadSettings(TProtocolData& data);

}  // namespace qor
