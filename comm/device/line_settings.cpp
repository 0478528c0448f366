// termios2 (TCGETS2/TCSETS2) instead of <termios.h>: it carries any rate as a
// number, which the C library's speed codes cannot. The two headers clash, so
// this file includes only the kernel's.
#include "comm/device/line_settings.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

#include "comm/device/device_open.hpp"

namespace qor::device {

namespace {

struct RateCode {
  std::uint32_t bps;
  tcflag_t code;
};

constexpr RateCode kRates[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},
    {150, B150},       {200, B200},       {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// A UART still frames correctly within about 2 % of the rate asked for.
constexpr std::uint32_t kRateTolerancePercent = 2;

constexpr std::uint32_t kUnsupportedFlags = kDcbOutxDsrFlow | kDcbDsrSensitivity | kDcbNull;

std::uint32_t DtrControl(const TDeviceControlBlock& dcb) {
  return (dcb.Flags & kDcbDtrControlMask) >> kDcbDtrControlShift;
}

std::uint32_t RtsControl(const TDeviceControlBlock& dcb) {
  return (dcb.Flags & kDcbRtsControlMask) >> kDcbRtsControlShift;
}

std::uint32_t RateOf(const termios2& t) {
  const tcflag_t code = t.c_cflag & CBAUD;
  if (code == BOTHER) return t.c_ospeed;
  for (const RateCode& r : kRates) {
    if (r.code == code) return r.bps;
  }
  return 0;  // B0: the line is hung up
}

void SetFlag(std::uint32_t& flags, std::uint32_t bit, bool on) {
  flags = on ? (flags | bit) : (flags & ~bit);
}

}  // namespace

bool HasUnsupportedFlags(const TDeviceControlBlock& dcb) {
  return (dcb.Flags & kUnsupportedFlags) != 0 || DtrControl(dcb) == lcHandshake;
}

TDeviceControlBlock WithoutUnsupportedFlags(TDeviceControlBlock dcb) {
  dcb.Flags &= ~kUnsupportedFlags;
  if (DtrControl(dcb) == lcHandshake) {
    dcb.Flags = (dcb.Flags & ~kDcbDtrControlMask) | (lcEnable << kDcbDtrControlShift);
  }
  return dcb;
}

std::int32_t ReadLineSettings(int fd, TDeviceControlBlock& dcb) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  dcb.BaudRate = RateOf(t);
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if ((t.c_cflag & PARENB) == 0) {
    dcb.Parity = 0;
  } else if ((t.c_cflag & CMSPAR) != 0) {
    dcb.Parity = (t.c_cflag & PARODD) != 0 ? 3 : 4;
  } else {
    dcb.Parity = (t.c_cflag & PARODD) != 0 ? 1 : 2;
  }
  if ((t.c_cflag & CSTOPB) == 0) {
    dcb.StopBits = 0;
  } else {
    dcb.StopBits = dcb.ByteSize == 5 ? 1 : 2;  // the UART makes 1.5 of two with 5 bits
  }
  SetFlag(dcb.Flags, kDcbParity, (t.c_iflag & INPCK) != 0);
  SetFlag(dcb.Flags, kDcbOutxCtsFlow, (t.c_cflag & CRTSCTS) != 0);
  SetFlag(dcb.Flags, kDcbOutX, (t.c_iflag & IXON) != 0);
  SetFlag(dcb.Flags, kDcbInX, (t.c_iflag & IXOFF) != 0);
  dcb.XonChar = t.c_cc[VSTART];
  dcb.XoffChar = t.c_cc[VSTOP];
  return 0;
}

std::int32_t WriteLineSettings(int fd, const TDeviceControlBlock& dcb) {
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return -2003;
  if (dcb.Parity > 4 || dcb.StopBits > 2) return -1002;
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return DeviceErrorCode(errno);

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= kSizes[dcb.ByteSize - 5] | CLOCAL | CREAD;
  switch (dcb.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;
  }
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;
  if ((dcb.Flags & kDcbOutxCtsFlow) != 0 || RtsControl(dcb) == lcHandshake) t.c_cflag |= CRTSCTS;

  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if ((dcb.Flags & kDcbOutX) != 0) t.c_iflag |= IXON;
  if ((dcb.Flags & kDcbInX) != 0) t.c_iflag |= IXOFF;
  if ((dcb.Flags & kDcbParity) != 0) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = dcb.XonChar;
  t.c_cc[VSTOP] = dcb.XoffChar;

  const auto bps = static_cast<std::uint32_t>(
      TQorBaseDispatcher::BitsPerSecond(static_cast<std::int32_t>(dcb.BaudRate)));
  bool custom = false;
  if (bps != 0) {
    tcflag_t code = BOTHER;
    for (const RateCode& r : kRates) {
      if (r.bps == bps) code = r.code;
    }
    custom = code == BOTHER;
    // CIBAUD 0: input at the output rate.
    t.c_cflag = (t.c_cflag & ~(CBAUD | CIBAUD)) | code;
    t.c_ispeed = t.c_ospeed = bps;
  }
  if (ioctl(fd, TCSETS2, &t) != 0) {
    return custom && errno == EINVAL ? -2002 : DeviceErrorCode(errno);
  }
  if (custom) {
    termios2 got{};
    if (ioctl(fd, TCGETS2, &got) != 0) return DeviceErrorCode(errno);
    const auto off = std::llabs(static_cast<long long>(RateOf(got)) - static_cast<long long>(bps));
    if (off * 100 > static_cast<long long>(bps) * kRateTolerancePercent) return -2002;
  }
  return HasUnsupportedFlags(dcb) ? -3002 : 0;
}

bool SetReadMinimum(int fd, std::uint8_t bytes) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cc[VMIN] = bytes;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace qor::device
