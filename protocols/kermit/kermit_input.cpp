#include "protocols/kermit/kermit_input.hpp"

#include <algorithm>
#include <cstring>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_packet.hpp"

namespace qor {

namespace {

constexpr std::uint8_t kHeaderDone = 7;

void MoveUnreadToFront(TKermitData& kd) {
  const std::int32_t unread = kd.InFill - kd.InRead;
  std::memmove(kd.InBuf.data(), kd.InBuf.data() + kd.InRead - 1,
               static_cast<std::size_t>(unread));
  kd.InRead = 1;
  kd.InFill = 1 + unread;
}

// Free positions at the end of InBuf, compacting when more than half of it has
// been consumed or when the end is reached.
std::int32_t InBufRoom(TKermitData& kd) {
  if (kd.InRead > kKermitInBufSize / 2 || (kd.InFill > kKermitInBufSize && kd.InRead > 1)) {
    MoveUnreadToFront(kd);
  }
  return kKermitInBufSize + 1 - kd.InFill;
}

std::uint8_t TakeChar(TKermitData& kd) {
  const std::uint8_t c = kd.InBuf[static_cast<std::size_t>(kd.InRead - 1)];
  if (++kd.InRead == kd.InFill) kd.InRead = kd.InFill = 1;
  return c;
}

// The Send-Init travels with check type 1 also when a sender repeats it after
// another type was agreed.
std::uint8_t IncomingCheckType(const TKermitData& kd) {
  return kd.RxPacketType == 'S' ? std::uint8_t{'1'} : CurrentCheckType(kd);
}

void AddToCheck(TProtocolData& data, TKermitData& kd, std::uint8_t c) {
  data.BlockCheckValue = UpdateChecksum(c, data.BlockCheckValue);
  kd.KermitCrc = UpdateCrcKermit(c, static_cast<std::uint16_t>(kd.KermitCrc));
}

void SaveCheck(const TProtocolData& data, TKermitData& kd) {
  kd.SavedChecksum = data.BlockCheckValue;
  kd.SavedCrc = kd.KermitCrc;
}

// The accumulators persist in the saved pair: sending a packet between two
// calls of an assembler must not disturb a half-checked packet.
void RestoreCheck(TProtocolData& data, TKermitData& kd) {
  data.BlockCheckValue = kd.SavedChecksum;
  kd.KermitCrc = kd.SavedCrc;
}

}  // namespace

std::int32_t InBufAppend(TKermitData& kd, const std::uint8_t* bytes, std::int32_t count) {
  const std::int32_t n = std::min(count, InBufRoom(kd));
  std::memcpy(kd.InBuf.data() + kd.InFill - 1, bytes, static_cast<std::size_t>(n));
  kd.InFill += n;
  return n;
}

bool InBufEmpty(const TKermitData& kd) { return kd.InRead == kd.InFill; }

void ReadAvailable(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  // What does not fit stays at the port until the assemblers have made room.
  std::int32_t room = InBufRoom(kd);
  while (room > 0) {
    const std::int32_t n = data.ComPort->ReadChars(kd.InBuf.data() + kd.InFill - 1, room);
    if (n == 0) break;
    kd.InFill += n;
    room -= n;
  }
}

bool InputDrained(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  if (InBufEmpty(kd)) ReadAvailable(data);
  return InBufEmpty(kd);
}

void FlushInput(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  data.ComPort->ClearInput();
  kd.InRead = kd.InFill = 1;
}

void CollectHeader(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  data.ProtocolStatus = psNoHeader;
  if (kd.HeaderState != 0) RestoreCheck(data, kd);
  while (kd.HeaderState != kHeaderDone && !InBufEmpty(kd)) {
    const std::uint8_t c = TakeChar(kd);
    if (c == kKermitMark) {
      kd.HeaderState = 1;
      data.BlockCheckValue = 0;
      kd.KermitCrc = 0;
      kd.HeaderSum = 32;
      continue;
    }
    switch (kd.HeaderState) {
      case 1:
        AddToCheck(data, kd, c);
        kd.RxLen = UnChar(c);
        kd.RxLongHeader = kd.RxLen == 0;
        kd.HeaderState = 2;
        break;
      case 2:
        AddToCheck(data, kd, c);
        kd.HeaderSum += c;
        kd.RxSeq = UnChar(c) & 0xFF;
        kd.HeaderState = 3;
        break;
      case 3:
        kd.RxPacketType = c;
        AddToCheck(data, kd, c);
        kd.HeaderSum += c;
        kd.HeaderState = kd.RxLongHeader ? 4 : kHeaderDone;
        break;
      case 4:
        AddToCheck(data, kd, c);
        kd.HeaderSum += c;
        kd.RxLen = UnChar(c) * 95;
        kd.HeaderState = 5;
        break;
      case 5:
        AddToCheck(data, kd, c);
        kd.HeaderSum += c;
        kd.RxLen += UnChar(c);
        kd.HeaderState = 6;
        break;
      case 6: {
        // A damaged extended length could make us wait for data that never
        // comes: drop the header and look for the next MARK.
        const std::int32_t s = kd.HeaderSum & 0xFF;
        if (c != ToChar((s + (s >> 6)) & 63)) {
          kd.HeaderState = 0;
          break;
        }
        AddToCheck(data, kd, c);
        kd.RxLen += 2;
        kd.HeaderState = kHeaderDone;
        break;
      }
      default:  // terminators, padding, noise between packets
        break;
    }
  }
  SaveCheck(data, kd);
  if (kd.HeaderState == kHeaderDone) {
    data.ProtocolStatus = psGotHeader;
    kd.RxLen = std::max(kd.RxLen - CheckLength(IncomingCheckType(kd)) - 2, 0);
  }
}

void StartCollectingData(TKermitData& kd) {
  kd.DataState = kd.RxLen == 0 ? 1 : 0;
  kd.RxDataIndex = 1;
}

std::int32_t DataBytesMissing(const TKermitData& kd) {
  const std::int32_t check_len = CheckLength(IncomingCheckType(kd));
  const std::int32_t data_left =
      kd.DataState == 0 ? std::min(kd.RxLen, kKermitDataSize) - (kd.RxDataIndex - 1) : 0;
  const std::int32_t check_left = kd.DataState == 0 ? check_len : check_len - (kd.DataState - 1);
  return std::max(0, data_left + check_left - (kd.InFill - kd.InRead));
}

void CollectData(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  kd.RxLen = std::min(kd.RxLen, kKermitDataSize);
  kd.RxDataLen = kd.RxLen;
  RestoreCheck(data, kd);
  kd.PacketCheckType = IncomingCheckType(kd);
  const std::int32_t check_len = CheckLength(kd.PacketCheckType);
  data.ProtocolStatus = psNoData;
  while (!InBufEmpty(kd)) {
    const std::uint8_t c = TakeChar(kd);
    if (kd.DataState == 0 && kd.RxDataIndex > kd.RxLen) kd.DataState = 1;
    if (kd.DataState == 0) {
      data.DataBlock[kd.RxDataIndex - 1] = c;
      AddToCheck(data, kd, c);
      if (++kd.RxDataIndex > kd.RxLen) kd.DataState = 1;
      continue;
    }
    kd.RxCheck[kd.DataState - 1u] = static_cast<std::uint8_t>(UnChar(c));
    if (kd.DataState < check_len) {
      ++kd.DataState;
      continue;
    }
    const auto want = CheckValues(kd.PacketCheckType, data.BlockCheckValue,
                                  static_cast<std::uint16_t>(kd.KermitCrc));
    const bool good = std::equal(want.begin(), want.begin() + check_len, kd.RxCheck.begin());
    data.ProtocolStatus = good ? psGotData : psBlockCheckError;
    break;
  }
  SaveCheck(data, kd);
}

}  // namespace qor
