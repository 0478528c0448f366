#pragma once
// Zmodem's part of the protocol record, its frame types, special bytes and states.
#include <array>
#include <cstdint>
#include <vector>

#include "protocols/core/protocol_data.hpp"
#include "protocols/zmodem/zmodem_frames.hpp"
#include "protocols/zmodem/zmodem_reader.hpp"

namespace qor {

inline constexpr std::int32_t kZmodemBlockLen = 1024;
inline constexpr std::int32_t kZmodem8KBlockLen = 8192;
inline constexpr std::int32_t kZmodemMinBlockLen = 256;  // halving stops here
inline constexpr std::int32_t kZmodemGoodBlocksToGrow = 5;
inline constexpr std::int32_t kZmodemAttentionSize = 32;
inline constexpr std::uint8_t kZmodemDefaultFileOption = 5;  // zfoWriteNewer
inline constexpr std::uint8_t kZmodemSkipNoFile = 0x80;
inline constexpr std::uint8_t kZmodemResume = 3;  // ZF0 of ZFILE: continue a partial file

// Capability flags of ZRINIT (ZF0).
inline constexpr std::uint8_t kZCanFullDuplex = 0x01;
inline constexpr std::uint8_t kZCanOverlapIO = 0x02;
inline constexpr std::uint8_t kZCanBreak = 0x04;
inline constexpr std::uint8_t kZCanCrc32 = 0x20;
inline constexpr std::uint8_t kZEscapeControl = 0x40;
inline constexpr std::uint8_t kZReceiverFlags = kZCanFullDuplex | kZCanOverlapIO | kZCanBreak |
                                                kZCanCrc32;  // 39

// Attention string bytes with a meaning of their own.
inline constexpr std::uint8_t kAttnBreak = 221;
inline constexpr std::uint8_t kAttnPause = 222;

// Transmit states 0-18, receive states 19-38 (their numbers go to the
// dispatch log), and the receiver's wait for the sender's file CRC.
enum TZmodemState : std::uint8_t {
  tzInitial,
  tzHandshake,
  tzGetFile,
  tzSendFile,
  tzCheckFile,
  tzStartData,
  tzEscapeData,
  tzSendData,
  tzWaitAck,
  tzSendEof,
  tzDrainEof,
  tzCheckEof,
  tzSendFinish,
  tzChkFinish,
  tzError,
  tzCleanup,
  tzDone,
  tzSendSInit,
  tzWaitSInitAck,
  rzRqstFile,
  rzDelay,
  rzWaitFile,
  rzCollFile,
  rzSendInit,
  rzSndBlkPrp,
  rzSendBlock,
  rzSync,
  rzStartFile,
  rzStartData,
  rzCollData,
  rzGotData,
  rzWaitEof,
  rzEndOfFile,
  rzSendFinish,
  rzCollFin,
  rzError,
  rzWaitCancel,
  rzCleanup,
  rzDone,
  rzWaitCrc,
};

struct TZmodemData : TEngineData {
  // Settings (the component's options).
  bool Use8K = false;
  std::int32_t StdBlockLen = kZmodemBlockLen;
  bool OptionOverride = false;
  bool Recover = false;
  bool EscControlRequested = false;
  std::uint8_t FileOption = kZmodemDefaultFileOption;  // low 7 bits, 0x80 skip when absent
  std::uint8_t FinishRetry = 3;
  std::array<std::uint8_t, kZmodemAttentionSize> Attention{};  // NUL-terminated

  // This transfer.
  std::uint8_t State = tzInitial;
  bool EscapeAll = false;
  bool UseCrc32 = false;           // for what we send
  std::int32_t ReceiverBufLen = 0;  // from ZRINIT; 0: no limit
  std::int32_t SinceAck = 0;        // bytes sent since the last ZCRCW
  bool ReducedBlock = false;
  std::int32_t GoodBlocks = 0;
  std::int32_t Position = 0;
  bool TxEof = false;
  std::int32_t OCount = 0;
  bool FileOffered = false;
  std::uint8_t Conversion = 0;  // ZF0 of the received ZFILE
  std::uint8_t FileManagement = 0;  // the option in force for the received file
  std::uint8_t SInitFlags = 0;      // ZF0 of the received ZSINIT
  std::uint8_t Transport = 0;   // ZF2
  std::int32_t IncomingDate = 0;  // seconds since 1970 of the file being received
  bool IncomingDated = false;
  std::uint8_t FrameToSend = 1;  // ZRINIT, or ZSKIP after a skipped file
  std::uint8_t EndMarker = 0;    // of the block being sent
  std::int32_t EscapedLen = 0;
  std::int32_t BlockBytes = 0;   // raw bytes of the block being sent
  std::int32_t ResumeAt = 0;     // the receiver's candidate resume position
  std::int32_t SkipChars = 0;    // rzSndBlkPrp: line end of a hex header

  std::array<std::uint8_t, 4> TxHeader{};  // P0..P3 of the header being sent
  TZmodemReader Reader;                    // headers and subpackets as they arrive
  TZEscaper Escaper;                       // for what we send

  std::vector<std::uint8_t> DataBuffer;    // StdBlockLen; what DataBlock points at
  std::vector<std::uint8_t> EscapeBuffer;  // twice StdBlockLen plus the trailer
  std::vector<std::uint8_t> Wire;          // a frame being built
};

inline TZmodemData& Zmodem(TProtocolData& data) { return data.EngineAs<TZmodemData>(); }

// Block length and buffers for the 8K flag.
void SizeZmodemBuffers(TProtocolData& data, TZmodemData& zd);

}  // namespace qor
