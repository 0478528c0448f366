#include "protocols/kermit/kermit_params.hpp"

#include <algorithm>

#include "protocols/kermit/kermit_input.hpp"
#include "protocols/kermit/kermit_packet.hpp"

namespace qor {

namespace {

constexpr std::int32_t kDefaultMaxLen = 80;
constexpr std::int32_t kDefaultLongLen = 500;

// What a Send-Init field means when it is shorter: the protocol's defaults,
// in the printable form the received characters have.
constexpr TKermitRemoteParams kRemoteDefaults = {
    ToChar(kDefaultMaxLen), ToChar(5), ToChar(0), Ctl(0), ToChar(13), '#', ' ', '1', ' ', 0, 0};

}  // namespace

std::array<std::uint8_t, kKermitInitDataLen> SendInitField(const TKermitParams& p) {
  return {ToChar(p.MaxLen),
          ToChar(p.TimeoutSecs),
          ToChar(p.PadCount),
          Ctl(p.PadChar),
          ToChar(p.Terminator),
          p.CtlPrefix,
          p.HibitPrefix,
          p.CheckType,
          p.RepeatPrefix,
          ToChar(p.Capabilities),
          ToChar(p.WindowSize & 0x1F),
          ToChar(p.MaxLongLen / 95),
          ToChar(p.MaxLongLen % 95)};
}

void SendInit(TProtocolData& data) {
  // Emptied first, so that a quick answer cannot be thrown away with stale input.
  FlushInput(data);
  const auto field = SendInitField(Kermit(data).LocalParams);
  SendPacketBytes(data, 'S', data.BlockNumber, field.data(), kKermitInitDataLen, false, '1');
}

void SendInitAck(TProtocolData& data) {
  const auto field = SendInitField(Kermit(data).LocalParams);
  SendPacketBytes(data, 'Y', data.BlockNumber, field.data(), kKermitInitDataLen, false, '1');
}

void NegotiateParams(TProtocolData& data, bool receiver) {
  TKermitData& kd = Kermit(data);
  TKermitParams& ours = kd.LocalParams;
  TKermitRemoteParams& remote = kd.RemoteParams;
  data.ProtocolError = 0;
  kd.RepeatCompression = false;
  kd.HibitQuoting = false;
  kd.LongPacketsInUse = false;
  remote = kRemoteDefaults;
  std::copy_n(data.DataBlock, std::clamp(kd.RxDataLen, 0, kKermitParamsSize), remote.begin());

  // A length too small for any data means the peer left the field blank.
  std::int32_t their_max = UnChar(remote[kfMaxLen]);
  if (their_max < kKermitMinLen) their_max = kDefaultMaxLen;
  if (their_max < ours.MaxLen) ours.MaxLen = static_cast<std::uint8_t>(their_max);

  const std::uint8_t their_hibit = remote[kfHibitPrefix];
  if (ValidPrefix(their_hibit)) {
    kd.HibitQuoting = true;
    ours.HibitPrefix = their_hibit;
  } else {
    kd.HibitQuoting = ValidPrefix(ours.HibitPrefix) && their_hibit == 'Y';
  }
  // A prefix shared by two roles would make the encoding ambiguous.
  if (kd.HibitQuoting && ours.HibitPrefix == ours.CtlPrefix) kd.HibitQuoting = false;
  kd.RepeatCompression = remote[kfRepeatPrefix] == ours.RepeatPrefix &&
                         ValidPrefix(ours.RepeatPrefix) && ours.RepeatPrefix != ours.CtlPrefix &&
                         !(kd.HibitQuoting && ours.RepeatPrefix == ours.HibitPrefix);

  const std::uint8_t their_caps = remote[kfCapabilities];
  if ((their_caps & kCapLongPackets) != 0 && (data.Options & kOptKermitLongPackets) != 0) {
    ours.Capabilities |= kCapLongPackets;
    const std::int32_t x = UnChar(remote[kfMaxLongLen1]) * 95 + UnChar(remote[kfMaxLongLen2]);
    if (x == 0 || (x > 0 && x < kKermitMinLen)) {
      ours.MaxLongLen = ours.MaxLen;
    } else {
      ours.MaxLongLen = x > 0 && x <= kKermitDataSize ? x : kDefaultLongLen;
    }
    kd.LongPacketsInUse = true;
  }

  std::int32_t windows = kd.TableSize;
  if ((their_caps & kCapSlidingWindows) != 0 && (data.Options & kOptKermitSlidingWindows) != 0) {
    ours.Capabilities |= kCapSlidingWindows;
    const std::int32_t theirs = remote[kfWindowSize] & 31;
    if (theirs < ours.WindowSize) {
      ours.WindowSize = static_cast<std::uint8_t>(theirs);
      windows = theirs;
    }
  } else {
    windows = 1;
    ours.WindowSize = 1;
  }
  windows = std::max(windows, 1);

  const std::uint8_t their_check = remote[kfCheckType];
  if (receiver && their_check >= '1' && their_check <= '3') {
    ours.CheckType = their_check;
  } else if (their_check != ours.CheckType) {
    // The protocol's rule when the two sides differ: both use type 1.
    ours.CheckType = '1';
  }
  data.BlockCheckMethod = CheckTypeToMethod(ours.CheckType);

  const std::int32_t len = kd.LongPacketsInUse ? ours.MaxLongLen : ours.MaxLen;
  if (windows > 1) data.TurnDelay = kd.SWCTurnDelay;
  if (windows != kd.TableSize || len != data.BlockLength) {
    kd.TableSize = windows;
    data.BlockLength = len;
    AllocateWindowBuffer(data);
  }
}

}  // namespace qor
