#pragma once
// The Xmodem/Ymodem part of the protocol record: the switches, the counters
// of the block being sent or received, and the state of both machines. Ymodem
// runs the Xmodem machine nested, so one part serves both engines.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/core/protocol_data.hpp"

namespace qor {

inline constexpr std::uint8_t kSoh = 1;
inline constexpr std::uint8_t kStx = 2;
inline constexpr std::uint8_t kEot = 4;
inline constexpr std::uint8_t kAck = 6;
inline constexpr std::uint8_t kBackspace = 8;
inline constexpr std::uint8_t kNak = 21;
inline constexpr std::uint8_t kCan = 24;
inline constexpr std::uint8_t kWantCrc = 'C';
inline constexpr std::uint8_t kWantStreaming = 'G';

inline constexpr std::int32_t kShortBlock = 128;
inline constexpr std::int32_t kLongBlock = 1024;
// Block number, its complement, 1024 data bytes and a two-byte CRC.
inline constexpr std::int32_t kBlockBufferSize = kLongBlock + 5;
inline constexpr std::int32_t kDefaultBlockWait = 91;  // ticks
inline constexpr std::int32_t kDefaultMaxBlockErrors = 5;

// Xmodem states: transmit 0-12, receive 13-20.
enum TXmodemState : std::uint8_t {
  txInitial,
  txHandshake,
  txGetBlock,
  txWtFreeSpc,
  txSendBlock,
  txDraining,
  txRplyPnding,
  txEndDrain,
  txFirstEOT,
  txRestEOT,
  txEotReply,
  txFinished,
  txDone,
  rxInitial,
  rxWtFrHSRply,
  rxWtFrBlStrt,
  rxCollBlock,
  rxProcBlck,
  rxFinSkip,
  rxFinished,
  rxDone,
};

// Ymodem states: transmit 0-10, receive 11-21 (ryOpenFile is a code of the
// state list that this machine never enters).
enum TYmodemState : std::uint8_t {
  tyInitial,
  tyHandshake,
  tyGetFlName,
  tySndFlName,
  tyDraining,
  tyRplyPndng,
  tyPrpXmdm,
  tySndXmdm,
  tyFinishd,
  tyFinDrain,
  tyDone,
  ryInitial,
  ryDelay,
  ryWtFrHSRply,
  ryWtFBlkStrt,
  ryCollBlck,
  ryProcBlck,
  ryOpenFile,
  ryPrepXmdm,
  ryRcvXmodem,
  ryFinished,
  ryDone,
};

// What the received header block 0 announced.
struct TYmodemHeader {
  std::string Name;
  std::int32_t Size = 0;      // 0: not given
  std::uint32_t Seconds = 0;  // 0: no date
  bool BadDate = false;       // a date was there but could not be read
};

struct TXYmodemData : TEngineData {
  bool Ymodem = false;  // the Ymodem engine; else the Xmodem one
  bool Crc = false;
  bool OneK = false;
  bool Streaming = false;  // the "G" variants
  std::int32_t MaxBlockErrors = kDefaultMaxBlockErrors;
  std::int32_t BlockWait = kDefaultBlockWait;
  bool AckPerBlock = true;
  std::uint8_t StartChar = kSoh;
  std::uint8_t ReplyChar = kNak;
  std::int32_t EotCount = 0;
  std::int32_t CanCount = 0;
  std::int32_t ExtraBytes = 3;  // beside the data: number, complement, check
  std::uint32_t HandshakeAttempts = 0;
  std::uint8_t XState = txDone;
  std::uint8_t YState = tyDone;
  bool Nested = false;  // the Xmodem machine runs inside the Ymodem one
  bool ClockStarted = false;
  bool LineFailed = false;  // a port operation failed: the line is not touched again

  // The block being sent: its data, how many bytes of it came from the file,
  // and whether the file ended with it.
  std::array<std::uint8_t, kLongBlock> TxBlock{};
  std::int32_t TxBytes = 0;
  bool TxLast = false;
  std::int32_t Position = 0;       // file offset of the block being sent or expected
  std::vector<std::uint8_t> Wire;  // the block as it goes out

  // The block being received: number, complement, data and check.
  std::array<std::uint8_t, kBlockBufferSize> RxBlock{};
  std::int32_t RxCollected = 0;

  // Ymodem transmit: the file behind the header being sent.
  std::string SendPath;
  std::int32_t SendSize = 0;
  bool FileOffered = false;
  bool NameRefused = false;  // the received name may not be stored
  bool JustEntered = false;  // tySndXmdm / ryRcvXmodem entered by the last step
  // Ymodem: the header block 0, 128 or 1024 bytes.
  std::vector<std::uint8_t> Header;
  std::int32_t HeaderLength = 0;
  TYmodemHeader Received;
};

inline TXYmodemData& XY(TProtocolData& data) { return data.EngineAs<TXYmodemData>(); }

}  // namespace qor
