// The ASCII receiver: what arrives goes into FileName, with the line-end
// translations, until a Ctrl-Z comes or the line stays quiet.
#include "comm/comport/com_port.hpp"
#include "comm/ticks.hpp"
#include "protocols/ascii/ascii.hpp"
#include "protocols/ascii/ascii_frame.hpp"
#include "protocols/ascii/ascii_text.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

namespace {

constexpr std::int32_t kNoFileName = -6010;
constexpr std::int32_t kCantWriteFile = -6012;

void EndReports(TProtocolData& data) {
  ShowLastStatus(data);
  FinishProtocol(data);
}

std::uint8_t Start(TProtocolData& data, TAsciiData& ad) {
  if (data.PathName[0] == '\0') {
    ReportProtocolError(data, kNoFileName);
    EndReports(data);
    return raDone;
  }
  data.LogProc(data, lfReceiveStart);
  char name[kPathSize];
  CopyName(name, data.PathName.data());
  if (!data.AcceptFileProc(data, name)) {
    // Refused: ends like a skipped file.
    FlushAsciiOutput(data);
    data.ProtocolStatus = psFileRejected;
    data.LogProc(data, lfReceiveSkip);
    EndReports(data);
    return raDone;
  }
  SetPathName(data, name);
  data.PrepareWritingProc(data);
  if (data.ProtocolStatus == psCantWriteFile && data.ProtocolError == 0) {
    data.ProtocolError = kCantWriteFile;
  }
  if (data.ProtocolError != 0) {
    FlushAsciiOutput(data);
    return raFinished;
  }
  data.FileOffset = 0;
  data.BlockNumber = 1;
  ad.Collected = 0;
  data.ForceStatus = true;
  ArmAsciiTimer(data, ad.EOFTimeout);
  ad.FirstChar = true;
  return raCollBlock;
}

std::uint8_t Collect(TProtocolData& data, TAsciiData& ad) {
  TQorCustomComPort& port = *data.ComPort;
  if (!port.InputReady()) return raCollBlock;
  // The end of the file is a quiet line, not a slow one: every arrival
  // starts the wait again.
  ArmAsciiTimer(data, ad.EOFTimeout);
  while (port.InputReady()) {
    const std::uint8_t c = port.ReadChar();
    if (ad.FirstChar) {
      StartTickTimer(data.TransferTimer, kMaxTimerTicks, NowTicks());
      ad.FirstChar = false;
    }
    switch (CollectChar(data, ad, c)) {
      case TCollected::More:
        break;
      case TCollected::BlockFull:
        return raWriteBlock;
      case TCollected::EndOfFile:
        // What follows the Ctrl-Z in the same burst is not part of the file.
        while (port.InputReady()) port.ReadChar();
        return raWriteBlock;
    }
  }
  return raCollBlock;
}

std::uint8_t WriteBlock(TProtocolData& data, TAsciiData& ad) {
  data.TransferredCount += ad.Collected;
  if (!ad.FirstChar) data.ElapsedTicks = NowTicks() - data.TransferTimer.StartTicks;
  data.WriteBlockProc(data, ad.Buffer.data(), ad.Collected);
  if (data.ProtocolError == 0) {
    data.FileOffset += ad.Collected;
    ArmAsciiTimer(data, ad.EOFTimeout);
    data.ForceStatus = true;
    ad.Collected = 0;
  }
  return data.ProtocolError != 0 || ad.EndOfFile ? raFinished : raCollBlock;
}

std::uint8_t Finish(TProtocolData& data) {
  data.FinishWritingProc(data);
  data.LogProc(data, data.ProtocolError != 0 ? lfReceiveFail : lfReceiveOk);
  EndReports(data);
  return raDone;
}

std::uint8_t ReceiveStep(TProtocolData& data, TAsciiData& ad, TAsciiEvent event) {
  switch (ad.State) {
    case raInitial:
      return Start(data, ad);
    case raCollBlock:
      if (event == TAsciiEvent::Timer) {
        ad.EndOfFile = true;
        return raWriteBlock;
      }
      if (event == TAsciiEvent::Data) return Collect(data, ad);
      return raCollBlock;
    case raWriteBlock:
      return WriteBlock(data, ad);
    case raFinished:
      return Finish(data);
    default:
      return raDone;
  }
}

bool ReceiveGoesOn(TProtocolData& data, const TAsciiData& ad, TAsciiEvent& next) {
  switch (ad.State) {
    case raCollBlock:
      next = TAsciiEvent::Data;
      return data.ComPort->InputReady();
    case raWriteBlock:
    case raFinished:
      next = TAsciiEvent::Other;
      return true;
    default:
      return false;
  }
}

constexpr TAsciiMachine kReceive{&ReceiveStep, &ReceiveGoesOn, raFinished, raDone};

}  // namespace

void AsciiPrepareReceive(TProtocolData& data) {
  platform::Locker lock(data.Lock);
  TAsciiData* ad = AsciiPartToPrepare(data);
  if (ad == nullptr) return;
  ad->State = raInitial;
  ad->EndOfFile = false;
  ad->Collected = 0;
  ResetStatus(data);
  ShowFirstStatus(data);
}

void AsciiReceiveHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  RunAsciiHandler(kReceive, msg, wparam, lparam);
}

}  // namespace qor
