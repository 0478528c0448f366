#pragma once
#include <cstdint>

#include "comm/dispatcher/base_dispatcher.hpp"

namespace qor::device {

// Control-block flags a termios device cannot honour: DSR output flow, DTR
// input flow (DTR control "handshake"), DSR sensitivity and null stripping.
bool HasUnsupportedFlags(const TDeviceControlBlock& dcb);
// dcb without them (DTR "handshake" becomes "on"): what the device really does.
TDeviceControlBlock WithoutUnsupportedFlags(TDeviceControlBlock dcb);

// Fills the fields of dcb that the device holds: rate, byte size, parity, stop
// bits, CTS flow, XON/XOFF in both directions and their characters, parity
// checking. Leaves the other fields. 0, or -1 when the device cannot be read.
std::int32_t ReadLineSettings(int fd, TDeviceControlBlock& dcb);

// Writes those fields. Any rate the driver accepts (custom ones too); a rate of
// 0 leaves the device's rate alone. CTS flow and an RTS "handshake" both mean
// CRTSCTS, which couples the two. 0, or -2002 (rate refused), -2003 (byte
// size), -1002 (parity or stop bits), -3002 (unsupported flag; the rest is
// still written), or the DeviceErrorCode of a failed call.
std::int32_t WriteLineSettings(int fd, const TDeviceControlBlock& dcb);
// Sets VMIN (VTIME 0): a wait on the device then reports input only once
// that many bytes are there, though a read still takes whatever is. False
// when the device refused.
bool SetReadMinimum(int fd, std::uint8_t bytes);

}  // namespace qor::device
