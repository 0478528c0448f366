#include "protocols/kermit/kermit_receive_window.hpp"

#include <algorithm>

#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit_decode.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_window.hpp"

namespace qor {

namespace {

constexpr std::int32_t kWindowHole = -6013;

// x is ahead of y: 0 < (x - y) mod 64 < 32.
bool Ahead(std::int32_t x, std::int32_t y) {
  const std::int32_t d = (x - y) & 63;
  return d > 0 && d < 32;
}

std::int32_t PrevSlot(const TKermitData& kd, std::int32_t index) {
  return index <= 1 ? kd.TableSize : index - 1;
}

// WorkBlock to the file; false when the write said stop.
bool FlushWorkBlock(TProtocolData& data, TKermitData& kd) {
  const bool stop = data.WriteBlockProc(data, kd.WorkBlock.data(), kd.WorkCount);
  data.FileOffset += kd.WorkCount;
  kd.WorkCount = 0;
  return !stop;
}

// Decodes a slot's data field into the file, through WorkBlock in 1024-byte
// blocks.
void WriteSlot(TProtocolData& data, TKermitData& kd, std::int32_t index) {
  const std::uint8_t* field = SlotData(data, index);
  const std::int32_t len = Slot(kd, index).SlotLength;
  kd.WorkCount = 0;
  std::int32_t pos = 0;
  std::uint8_t byte = 0;
  std::int32_t count = 0;
  while (DecodeNext(kd, field, len, pos, byte, count)) {
    while (count > 0) {
      const std::int32_t n = std::min(count, kKermitDataSize - kd.WorkCount);
      std::fill_n(kd.WorkBlock.begin() + kd.WorkCount, n, byte);
      kd.WorkCount += n;
      count -= n;
      if (kd.WorkCount == kKermitDataSize && !FlushWorkBlock(data, kd)) return;
    }
  }
  if (kd.WorkCount > 0) FlushWorkBlock(data, kd);
}

// A slot leaves the window: its packet goes to the file. A slot whose packet
// never came would leave a hole in the file; false then, or when writing failed.
bool Retire(TProtocolData& data, TKermitData& kd, std::int32_t index) {
  TKermitSlot& slot = Slot(kd, index);
  if (slot.SlotInUse) {
    if (!slot.SlotReceived) {
      ReportProtocolError(data, kWindowHole);
      return false;
    }
    WriteSlot(data, kd, index);
    if (data.ProtocolError != 0) return false;
  }
  FreeSlot(kd, index);
  slot.SlotReceived = false;
  return true;
}

// Moves the head on by steps sequence numbers, retiring the oldest slot
// whenever the head comes round to it. Slots passed over wait in use but not
// received, for the packet that was missed.
bool Advance(TProtocolData& data, TKermitData& kd, std::int32_t steps) {
  std::int32_t seq = Slot(kd, kd.TableHead).SlotSeq;
  for (std::int32_t i = 0; i < steps; ++i) {
    kd.TableHead = NextSlot(kd, kd.TableHead);
    if (kd.TableHead == kd.TableTail) {
      if (!Retire(data, kd, kd.TableTail)) return false;
      kd.TableTail = NextSlot(kd, kd.TableTail);
    }
    seq = NextSeq(seq);
    UseSlot(kd, kd.TableHead, seq, 0);
    Slot(kd, kd.TableHead).SlotReceived = false;
  }
  return true;
}

// The slot holding seq between the tail and the head, or 0 when seq lies
// behind the window (its packet was written out long ago).
std::int32_t SlotOf(const TKermitData& kd, std::int32_t seq) {
  const std::int32_t behind =
      (kd.Slots[static_cast<std::size_t>(kd.TableHead - 1)].SlotSeq - seq) & 63;
  const std::int32_t held = (kd.TableHead - kd.TableTail + kd.TableSize) % kd.TableSize + 1;
  if (behind >= held) return 0;
  std::int32_t index = kd.TableHead;
  for (std::int32_t i = 0; i < behind; ++i) index = PrevSlot(kd, index);
  return kd.Slots[static_cast<std::size_t>(index - 1)].SlotInUse ? index : 0;
}

std::int32_t DecodedSize(const TKermitData& kd, const std::uint8_t* field, std::int32_t len) {
  std::int32_t size = 0;
  std::int32_t pos = 0;
  std::uint8_t byte = 0;
  std::int32_t count = 0;
  while (DecodeNext(kd, field, len, pos, byte, count)) size += count;
  return size;
}

}  // namespace

void StoreDataPacket(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  data.ProtocolError = 0;
  const std::int32_t newest = Slot(kd, kd.TableHead).SlotSeq;
  std::int32_t index = 0;
  if (Ahead(kd.RxSeq, newest)) {
    if (!Advance(data, kd, (kd.RxSeq - newest) & 63)) return;
    index = kd.TableHead;
  } else {
    // A repeat, or a late packet filling a gap: stored and acknowledged, so
    // that the sender can move on.
    index = SlotOf(kd, kd.RxSeq);
    if (index == 0) return;
  }
  TKermitSlot& slot = Slot(kd, index);
  const bool first_copy = !slot.SlotReceived;
  UseSlot(kd, index, kd.RxSeq, kd.RxDataLen);
  slot.SlotReceived = true;
  std::copy_n(data.DataBlock, kd.RxDataLen, SlotData(data, index));

  if (Ahead(kd.RxSeq, data.BlockNumber)) {
    for (std::int32_t missing = data.BlockNumber; missing != kd.RxSeq; missing = NextSeq(missing)) {
      SendNak(data, missing);
    }
  }
  if (first_copy) {
    const std::int32_t size = DecodedSize(kd, data.DataBlock, kd.RxDataLen);
    data.TransferredCount += size;
    data.RemainingCount -= size;
    data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  }
  SendAck(data, kd.RxSeq);
  data.BlockNumber = NextSeq(Slot(kd, kd.TableHead).SlotSeq);
}

void WriteOutWindow(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  data.ProtocolError = 0;
  std::int32_t index = kd.TableHead;
  for (std::int32_t i = 0; i < kd.TableSize; ++i) {
    index = NextSlot(kd, index);
    if (!Retire(data, kd, index)) return;
  }
}

}  // namespace qor
