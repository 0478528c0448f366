#include "protocols/kermit/kermit_window.hpp"

#include "protocols/kermit/kermit.hpp"

namespace qor {

TKermitSlot& Slot(TKermitData& kd, std::int32_t index) {
  return kd.Slots[static_cast<std::size_t>(index - 1)];
}

std::uint8_t* SlotData(TProtocolData& data, std::int32_t index) {
  return Kermit(data).WindowBuffer.data() +
         static_cast<std::size_t>(index - 1) * static_cast<std::size_t>(data.BlockLength);
}

std::int32_t NextSlot(const TKermitData& kd, std::int32_t index) {
  return index >= kd.TableSize ? 1 : index + 1;
}

void UseSlot(TKermitData& kd, std::int32_t index, std::int32_t seq, std::int32_t length) {
  TKermitSlot& s = Slot(kd, index);
  if (!s.SlotInUse) ++kd.SlotsInUse;
  s.SlotLength = length;
  s.SlotSeq = seq;
  s.SlotInUse = true;
  s.SlotRetries = 0;
}

void FreeSlot(TKermitData& kd, std::int32_t index) {
  TKermitSlot& s = Slot(kd, index);
  if (s.SlotInUse) --kd.SlotsInUse;
  s.SlotInUse = false;
}

void ClearSlots(TKermitData& kd) {
  kd.Slots.fill(TKermitSlot{});
  kd.SlotsInUse = 0;
}

std::int32_t FindSlot(const TKermitData& kd, std::int32_t seq) {
  for (std::int32_t i = 1; i <= kd.TableSize; ++i) {
    const TKermitSlot& s = kd.Slots[static_cast<std::size_t>(i - 1)];
    if (s.SlotInUse && s.SlotSeq == seq) return i;
  }
  return 0;
}

std::int32_t OldestSlot(const TKermitData& kd, std::int32_t newest_seq) {
  // Sequence numbers wrap at 64; a window of at most 27 never spans half of that.
  std::int32_t oldest = 0;
  std::int32_t behind = -1;
  for (std::int32_t i = 1; i <= kd.TableSize; ++i) {
    const TKermitSlot& s = kd.Slots[static_cast<std::size_t>(i - 1)];
    const std::int32_t d = (newest_seq - s.SlotSeq) & 63;
    if (s.SlotInUse && d > behind) {
      oldest = i;
      behind = d;
    }
  }
  return oldest;
}

bool WindowFull(const TKermitData& kd) {
  return kd.Slots[static_cast<std::size_t>(NextSlot(kd, kd.TableHead) - 1)].SlotInUse;
}

std::int32_t KermitWindowsInUse(TProtocolData& data) {
  const auto* kd = dynamic_cast<const TKermitData*>(data.Engine.get());
  return kd == nullptr ? 0 : kd->SlotsInUse.load();
}

}  // namespace qor
