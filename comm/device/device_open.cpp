#include "comm/device/device_open.hpp"

#include <cerrno>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace qor::device {

namespace {

TOpenedDevice Failed(int fd, int error) {
  if (fd >= 0) close(fd);
  return {DeviceErrorCode(error), false, false};
}

// Unix98 pty slaves have majors 136-143, the old BSD ones 3.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned int m = major(st.st_rdev);
  return (m >= 136 && m <= 143) || m == 3;
}

// USB adapters otherwise hold received bytes back for up to 16 ms, which ruins
// stop-and-wait protocols. Drivers without the setting (ptys) refuse; fine.
bool SetLowLatency(int fd, bool on) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  const bool is_on = (serial.flags & ASYNC_LOW_LATENCY) != 0;
  if (is_on == on) return false;
  serial.flags = on ? (serial.flags | ASYNC_LOW_LATENCY) : (serial.flags & ~ASYNC_LOW_LATENCY);
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

}  // namespace

std::int32_t DeviceErrorCode(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case EISDIR:
    case ENOTTY:  // a path that is not a serial device is no port
    case EIO:     // a UART slot without hardware
      return -2;
    case EBUSY:  // TIOCEXCL of another program
    case EWOULDBLOCK:  // flock of another program, or of another open in this one
    case EACCES:
    case EPERM:
      return -5;
    case EMFILE:
    case ENFILE:
      return -4;
    case ENOMEM:
      return -8;
    default:
      return -162;
  }
}

TOpenedDevice OpenSerialDevice(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Failed(-1, errno);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Failed(fd, errno);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return Failed(fd, errno);
  // Root passes TIOCEXCL; the flock above still keeps cooperating programs out.
  if (ioctl(fd, TIOCEXCL) != 0) return Failed(fd, errno);
  cfmakeraw(&settings);
  // CLOCAL: a dropped carrier must not hang the line up under us.
  settings.c_cflag = (settings.c_cflag & ~CRTSCTS) | CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    const int error = errno;
    ioctl(fd, TIOCNXCL);
    return Failed(fd, error);
  }
  return {fd, SetLowLatency(fd, true), IsPseudoTerminal(fd)};
}

void CloseSerialDevice(const TOpenedDevice& device) {
  if (device.LowLatencySet) SetLowLatency(device.Fd, false);
  ioctl(device.Fd, TIOCNXCL);
  close(device.Fd);  // also releases the flock
}

}  // namespace qor::device
