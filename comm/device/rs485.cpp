#include "comm/device/rs485.hpp"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace qor::device {

bool SetKernelRs485(int fd, bool on) {
  serial_rs485 rs485{};
  if (ioctl(fd, TIOCGRS485, &rs485) != 0) return false;
  if (on) {
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~SER_RS485_RTS_AFTER_SEND;
  } else {
    rs485.flags &= ~SER_RS485_ENABLED;
  }
  return ioctl(fd, TIOCSRS485, &rs485) == 0;
}

bool TransmitterEmpty(int fd) {
  int queued = 0;
  if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) return false;
  unsigned int lsr = 0;
  if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0) return true;  // no UART register to ask
  return (lsr & TIOCSER_TEMT) != 0;
}

}  // namespace qor::device
