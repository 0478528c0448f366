#include "protocols/kermit/kermit_receive_file.hpp"

#include <unistd.h>

#include <string_view>

#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/safe_names.hpp"
#include "protocols/core/work_file.hpp"
#include "protocols/kermit/kermit.hpp"
#include "protocols/kermit/kermit_decode.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "protocols/kermit/kermit_receive_states.hpp"
#include "protocols/kermit/kermit_receive_window.hpp"
#include "protocols/kermit/kermit_window.hpp"

namespace qor {

namespace {

constexpr std::int32_t kRejected = -6011;
constexpr std::int32_t kCantWrite = -6012;
constexpr std::int32_t kWindowHole = -6013;
constexpr std::string_view kCantWriteText = "Error opening or writing file";
constexpr std::string_view kWindowHoleText = "Kermit window table is full, fatal error";

// The sender asked to discard the file: its end-of-file packet says "D".
bool DiscardAsked(TProtocolData& data) {
  const TKermitData& kd = Kermit(data);
  return kd.RxPacketType == 'Z' && kd.RxDataLen > 0 && data.DataBlock[0] == 'D';
}

std::uint8_t Refuse(TProtocolData& data) {
  data.ForceStatus = true;
  KermitCancel(data);
  Kermit(data).FileRejected = true;
  return rkError;
}

std::uint8_t OpenFile(TProtocolData& data, TKermitData& kd) {
  data.FileOffset = 0;
  data.BlockNumber = NextSeq(kd.RxSeq);
  data.BlockErrors = 0;
  StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
  data.FileActive = false;
  data.RemainingCount = 0;
  data.TransferredCount = 0;
  data.TotalErrors = 0;
  data.FileLength = 0;
  data.ProtocolError = 0;
  data.PrepareWritingProc(data);
  // 4707: the file exists and may not be overwritten; FinishProtocol makes
  // -6012 of the status.
  if (data.ProtocolError != 0 || data.ProtocolStatus == psCantWriteFile) {
    if (data.ProtocolStatus != psCantWriteFile) data.ProtocolError = kCantWrite;
    SendError(data, kCantWriteText);
    return rkError;
  }
  kd.ReceivingFile = true;
  SendAck(data, kd.RxSeq);
  kd.TableHead = 1;
  kd.TableTail = 1;
  ClearSlots(kd);
  Slot(kd, 1).SlotSeq = kd.RxSeq;
  ArmHandshakeWait(data);
  return rkGetData;
}

}  // namespace

std::uint8_t AcceptFile(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  DecodeFileName(data);
  const std::string_view received(reinterpret_cast<const char*>(data.DataBlock),
                                  static_cast<std::size_t>(kd.RxDataLen));
  const auto path = ReceivedFilePath(data.DestinationDirectory.data(), received,
                                     (data.Options & kOptHonorDirectory) != 0);
  // A refused name is still logged, made harmless to show.
  CopyName(data.PathName, path ? *path : PrintableName(received));
  data.LogProc(data, lfReceiveStart);
  kd.FileRejected = false;
  if (!path) {
    ReportProtocolError(data, kRejected);
    return Refuse(data);
  }
  if (!data.AcceptFileProc(data, data.PathName.data())) return Refuse(data);
  return OpenFile(data, kd);
}

std::uint8_t EndOfFile(TProtocolData& data) {
  TKermitData& kd = Kermit(data);
  const bool discard = DiscardAsked(data);
  // "D" and more: the sender gives up the file and the transfer.
  if (discard && kd.RxDataLen > 1) {
    data.ProtocolStatus = psCancelRequested;
    return rkError;
  }
  // An end of file numbered past the next packet: the packets in between
  // never came, and the file would lack them without a word.
  if (kd.RxSeq != data.BlockNumber) {
    ReportProtocolError(data, kWindowHole);
    return FileFailed(data);
  }
  WriteOutWindow(data);
  if (data.ProtocolError != 0) return FileFailed(data);
  data.FinishWritingProc(data);
  if (data.ProtocolError != 0) return FileFailed(data);
  data.LogProc(data, discard ? lfReceiveSkip : lfReceiveOk);
  kd.ReceivingFile = false;
  SendAck(data, kd.RxSeq);
  data.BlockNumber = NextSeq(kd.RxSeq);
  data.BlockErrors = 0;
  data.FileActive = false;
  ArmHandshakeWait(data);
  return rkGetFile;
}

std::uint8_t FileFailed(TProtocolData& data) {
  // An error packet stops the sender at once; an acknowledge would let it
  // believe the file arrived.
  if (data.ProtocolError == kWindowHole) {
    SendError(data, kWindowHoleText);
  } else {
    data.ProtocolError = kCantWrite;
    SendError(data, kCantWriteText);
  }
  return rkError;
}

void KermitFinishWriting(TProtocolData& data) {
  // Only a file this reception created may be deleted: a refused name can be
  // that of a file that was there before.
  if (!data.FileOpen) return;
  FinishWriting(data);
  if (DiscardAsked(data)) ::unlink(data.PathName.data());
}

}  // namespace qor
