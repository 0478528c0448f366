#pragma once
#include <cstdint>
#include <string>

namespace qor::device {

// The library's code for a failed open or device call, from errno: -2 no such
// device, -5 held by another program or not permitted, -4 out of descriptors,
// -8 out of memory, -162 anything else.
std::int32_t DeviceErrorCode(int error);

struct TOpenedDevice {
  int Fd = -1;
  bool LowLatencySet = false;  // we switched the driver's low-latency mode on
  // The slave side of a pseudo-terminal: it has no output queue of its own
  // (what is written goes straight to the other end), so flushing its output
  // would throw away input the other end has been given but not yet read.
  bool PseudoTerminal = false;
};

// Opens a serial device for this process alone: non-blocking, no controlling
// terminal, close-on-exec, flock'ed and TIOCEXCL'ed before any setting changes,
// then raw 8-bit mode with modem control lines ignored and no flow control, and
// the driver's low-latency mode where it has one. Returns Fd, or a negative code
// of DeviceErrorCode in Fd.
TOpenedDevice OpenSerialDevice(const std::string& path);

// Undoes what OpenSerialDevice set up and closes the descriptor.
void CloseSerialDevice(const TOpenedDevice& device);

}  // namespace qor::device
