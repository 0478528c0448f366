#pragma once

namespace qor::device {

// Switches the driver's own RS-485 direction control (RTS on while sending) on
// or off; false when the driver has none.
bool SetKernelRs485(int fd, bool on);

// Whether the last byte has left the line: the driver's queue is empty and,
// where the UART reports it, its shift register too.
bool TransmitterEmpty(int fd);

}  // namespace qor::device
