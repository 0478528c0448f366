#include "protocols/zmodem/zmodem_line.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <thread>

#include "comm/comport/com_port.hpp"
#include "comm/dispatcher/dispatch_log_codes.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/platform/clock.hpp"
#include "comm/platform/sync.hpp"
#include "comm/ticks.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {

namespace {

constexpr std::int32_t kTooManyErrors = -6008;
constexpr std::int32_t kPauseTicks = 18;
constexpr std::uint16_t kBreakTicks = 5;
constexpr std::uint16_t kStateLogBase = 160;
constexpr std::uint8_t kBackspace = 8;
constexpr int kCancelLength = 8;

bool IsTrigger(std::uintptr_t wparam, std::int32_t handle) {
  return handle != 0 && wparam == static_cast<std::uintptr_t>(handle);
}

void Send(TProtocolData& data, const std::vector<std::uint8_t>& bytes) {
  data.ComPort->SendBlock(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
}

TQorBaseDispatcher* DispatcherOf(TProtocolData& data) {
  return data.ComPort != nullptr && data.ComPort->Open() ? data.ComPort->Dispatcher() : nullptr;
}

}  // namespace

TZEvent EventOf(const TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
  if (msg == 0 || msg == kMsgTriggerAvail) return TZEvent::Data;
  if (msg == kMsgTriggerTimer && IsTrigger(wparam, data.TimeoutTrigger)) return TZEvent::Timeout;
  if (msg == kMsgTriggerStatus && IsTrigger(wparam, data.OutBuffFreeTrigger)) return TZEvent::OutFree;
  if (msg == kMsgTriggerStatus && IsTrigger(wparam, data.OutBuffUsedTrigger)) {
    return TZEvent::OutEmpty;
  }
  return TZEvent::OtherTrigger;
}

void SendHexHeader(TProtocolData& data, std::uint8_t type, const TZHeaderBytes& bytes) {
  TZmodemData& zd = Zmodem(data);
  zd.Wire.clear();
  BuildHexHeader(type, bytes, zd.Wire);
  zd.Escaper.Wrote(zd.Wire.back());
  Send(data, zd.Wire);
}

void SendBinaryHeader(TProtocolData& data, std::uint8_t type, const TZHeaderBytes& bytes) {
  TZmodemData& zd = Zmodem(data);
  zd.Wire.clear();
  BuildBinaryHeader(type, bytes, zd.UseCrc32, zd.Escaper, zd.Wire);
  Send(data, zd.Wire);
}

void SendSubpacket(TProtocolData& data, const std::uint8_t* bytes, std::int32_t len,
                   std::uint8_t end, bool crc32) {
  TZmodemData& zd = Zmodem(data);
  zd.Wire.resize(static_cast<std::size_t>(SubpacketRoom(len)));
  const std::uint8_t* stop = BuildSubpacket(bytes, len, end, crc32, zd.Escaper, zd.Wire.data());
  zd.Wire.resize(static_cast<std::size_t>(stop - zd.Wire.data()));
  Send(data, zd.Wire);
}

void SendAttention(TProtocolData& data) {
  TZmodemData& zd = Zmodem(data);
  for (const std::uint8_t c : zd.Attention) {
    if (c == 0) break;
    if (c == kAttnBreak) {
      data.ComPort->SendBreak(kBreakTicks, true);
    } else if (c == kAttnPause) {
      // Messages to this thread keep moving while it waits.
      platform::Event never(true, false);
      const std::uint32_t start = platform::TimeGetTime();
      const std::uint32_t ms = kPauseTicks * kMsPerTick;
      for (std::uint32_t gone = 0; gone < ms; gone = platform::TimeGetTime() - start) {
        if (platform::WaitPumping(never, ms - gone) != platform::PumpWaitResult::Timeout) break;
      }
    } else {
      data.ComPort->SendChar(c);
    }
  }
}

void ZmodemCancel(TProtocolData& data) {
  if (DispatcherOf(data) != nullptr) {
    const std::int32_t used = data.ComPort->OutputUsed();
    const std::int32_t block = std::max<std::int32_t>(data.BlockLength, 1);
    const std::int32_t unsent = used - used / block * data.Overhead;
    if (unsent > 0) data.TransferredCount = std::max<std::int32_t>(0, data.TransferredCount - unsent);
    data.ComPort->ClearOutput();
    std::uint8_t seq[2 * kCancelLength];
    std::fill_n(seq, kCancelLength, ZDLE);
    std::fill_n(seq + kCancelLength, kCancelLength, kBackspace);
    data.ComPort->SendBlock(seq, sizeof seq);
  }
  data.ProtocolStatus = psCancelRequested;
}

void ArmTimeout(TProtocolData& data, std::int32_t ticks) {
  data.ComPort->ArmTimerTrigger(data.TimeoutTrigger, ticks, true);
}

bool InputWaiting(TProtocolData& data) {
  TQorBaseDispatcher* d = DispatcherOf(data);
  return d != nullptr && d->HasInput();
}

void DiscardInput(TProtocolData& data) {
  if (DispatcherOf(data) != nullptr) data.ComPort->ClearInput();
}

void DiscardOutput(TProtocolData& data) {
  if (DispatcherOf(data) != nullptr) data.ComPort->ClearOutput();
}

namespace {

// Feeds the waiting characters to feed until it gives a result; More when
// they ran out first.
// Looks at the waiting bytes a stretch at a time and takes exactly those
// that were fed, so what follows a frame stays for the next reader.
template <class Feed>
TZRead ReadWith(TProtocolData& data, Feed feed) {
  TQorBaseDispatcher* d = DispatcherOf(data);
  if (d == nullptr) return TZRead::More;
  std::array<std::uint8_t, 512> stretch;
  for (;;) {
    const std::int32_t n =
        d->CopyWaitingInput(stretch.data(), static_cast<std::int32_t>(stretch.size()));
    if (n == 0) return TZRead::More;
    for (std::int32_t i = 0; i < n; ++i) {
      const TZRead got = feed(stretch[static_cast<std::size_t>(i)]);
      if (got != TZRead::More) {
        d->TakeWaitingInput(i + 1);
        return got;
      }
    }
    d->TakeWaitingInput(n);
  }
}

// The status of a result that is neither More, Header nor Data.
std::int32_t FaultStatus(TZRead got) {
  switch (got) {
    case TZRead::TooLong: return psLongPacket;
    case TZRead::Cancel: return psCancelRequested;
    default: return psBlockCheckError;
  }
}

std::int32_t MarkerStatus(std::uint8_t marker) {
  switch (marker) {
    case ZCRCE: return psGotCrcE;
    case ZCRCG: return psGotCrcG;
    case ZCRCQ: return psGotCrcQ;
    default: return psGotCrcW;
  }
}

}  // namespace

void ReadHeader(TProtocolData& data, TZmodemData& zd) {
  const TZRead got = ReadWith(data, [&zd](std::uint8_t c) {
    const TZRead r = zd.Reader.FeedHeader(c);
    // An end of file that overtook our request to go back is stale.
    if (r == TZRead::Header && zd.Reader.Type == ZEOF && zd.State == rzStartData &&
        zd.Position != HeaderPosition(zd)) {
      return TZRead::More;
    }
    return r;
  });
  data.ProtocolStatus = got == TZRead::More     ? psNoHeader
                        : got == TZRead::Header ? psGotHeader
                                                : FaultStatus(got);
}

void StartReadingData(TProtocolData& data, TZmodemData& zd) {
  zd.Reader.StartData(data.DataBlock, zd.StdBlockLen);
}

void ReadData(TProtocolData& data, TZmodemData& zd) {
  TZRead got = TZRead::More;
  if (TQorBaseDispatcher* d = DispatcherOf(data)) {
    std::array<std::uint8_t, 2048> stretch;
    for (;;) {
      const std::int32_t n =
          d->CopyWaitingInput(stretch.data(), static_cast<std::int32_t>(stretch.size()));
      if (n == 0) break;
      std::size_t used = 0;
      got = zd.Reader.FeedDataRun(stretch.data(), static_cast<std::size_t>(n), used);
      d->TakeWaitingInput(static_cast<std::int32_t>(used));
      if (got != TZRead::More) break;
    }
  }
  data.ProtocolStatus = got == TZRead::More   ? psOK
                        : got == TZRead::Data ? MarkerStatus(zd.Reader.Marker)
                                              : FaultStatus(got);
}

bool CountRetry(TProtocolData& data, std::uint32_t limit) {
  data.ForceStatus = true;
  ++data.BlockErrors;
  ++data.TotalErrors;
  if (static_cast<std::uint32_t>(data.BlockErrors) <= limit) return false;
  ZmodemCancel(data);
  ReportProtocolError(data, kTooManyErrors);
  return true;
}

void LogZmodemState(TProtocolData& data, const TZmodemData& zd) {
  TQorBaseDispatcher* d = data.ComPort != nullptr ? data.ComPort->Dispatcher() : nullptr;
  if (d == nullptr || !d->Logging()) return;
  const auto thread = static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  d->AddLogEntry(dlkZModem, static_cast<std::uint16_t>(kStateLogBase + zd.State), thread);
}

}  // namespace qor
