#include "protocols/xymodem/xmodem_receive_parts.hpp"

#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/xmodem_block.hpp"
#include "protocols/xymodem/xymodem_common.hpp"

namespace qor {

namespace {

constexpr std::int32_t kSequenceError = -6009;
constexpr std::int32_t kCansToCancel = 3;

void SequenceError(TProtocolData& data) {
  SendCancelSequence(data);
  data.ProtocolStatus = psSequenceError;
  ReportProtocolError(data, kSequenceError);
}

void Reply(TProtocolData& data, TXYmodemData& xy) {
  if (xy.ReplyChar == kAck && xy.Streaming) return;
  SendByte(data, xy.ReplyChar);
}

}  // namespace

void AskForChecksums(TProtocolData& data, TXYmodemData& xy) {
  xy.ReplyChar = kNak;
  xy.Crc = false;
  data.BlockCheckMethod = bcmChecksum;
  xy.ExtraBytes = 3;
}

void AskAgain(TProtocolData& data, TXYmodemData& xy) {
  SendByte(data, xy.ReplyChar);
  ArmTimer(data, data.HandshakeWait);
}

TBlockStart ScanBlockStart(TProtocolData& data, TXYmodemData& xy) {
  while (XYInputWaiting(data)) {
    const std::uint8_t c = ReadByte(data);
    switch (c) {
      case kSoh:
      case kStx:
        data.BlockLength = c == kSoh ? kShortBlock : kLongBlock;
        xy.RxCollected = 0;
        ArmTimer(data, xy.BlockWait);
        return TBlockStart::Block;
      case kEot:
        xy.CanCount = 0;
        // The first EOT may be noise: the sender repeats a real one.
        if (xy.EotCount++ == 0) {
          SendByte(data, kNak);
          ArmTimer(data, xy.BlockWait);
          break;
        }
        data.ProtocolStatus = psEndFile;
        SendByte(data, kAck);
        return TBlockStart::EndOfFile;
      case kCan:
        xy.EotCount = 0;
        data.ProtocolStatus = psCancelRequested;
        if (++xy.CanCount >= kCansToCancel) {
          SendCancelSequence(data);
          return TBlockStart::Cancelled;
        }
        break;
      default:
        data.ProtocolStatus = psProtocolError;
        xy.EotCount = 0;
        xy.CanCount = 0;
        break;
    }
  }
  return TBlockStart::Waiting;
}

std::int32_t BlockBytesLeft(const TProtocolData& data, const TXYmodemData& xy) {
  return data.BlockLength + xy.ExtraBytes - xy.RxCollected;
}

bool CollectBlock(TProtocolData& data, TXYmodemData& xy) {
  xy.ReplyChar = kNak;
  const std::int32_t size = data.BlockLength + xy.ExtraBytes;
  while (xy.RxCollected < size && XYInputWaiting(data)) {
    const std::int32_t n =
        ReadBytes(data, xy.RxBlock.data() + xy.RxCollected, size - xy.RxCollected);
    if (n == 0) break;
    xy.RxCollected += n;
  }
  return xy.RxCollected == size;
}

void JudgeCollected(TProtocolData& data, TXYmodemData& xy) {
  switch (JudgeBlock(xy.RxBlock.data(), data.BlockLength, xy.Crc, data.BlockNumber)) {
    case TBlockVerdict::Expected: data.ProtocolStatus = psOK; return;  // answered once stored
    case TBlockVerdict::Duplicate:
      // Our ACK was lost: the sender must hear it again, the file not see it twice.
      xy.ReplyChar = kAck;
      data.BlockErrors = 0;
      data.ProtocolStatus = psDuplicateBlock;
      break;
    case TBlockVerdict::BadCheck:
      CountBlockError(data);
      ClearLineInput(data);
      data.ProtocolStatus = psBlockCheckError;
      xy.ReplyChar = kNak;
      break;
    case TBlockVerdict::BadNumber:
      CountBlockError(data);
      SequenceError(data);
      return;
    case TBlockVerdict::OutOfOrder: SequenceError(data); return;
  }
  if (data.ProtocolStatus == psBlockCheckError && xy.Streaming) return;  // cancelled instead
  Reply(data, xy);
}

void AcceptCollected(TProtocolData& data, TXYmodemData& xy) {
  xy.ReplyChar = kAck;
  Reply(data, xy);
  data.ActualBlockLength = data.BlockLength;
  Advance(data, xy, data.BlockLength);
  data.ProtocolError = 0;
  data.ForceStatus = true;
}

}  // namespace qor
