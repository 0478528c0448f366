#include "comm/device/port_available.hpp"

#include <string>

#include "comm/device/posix_dispatcher.hpp"

namespace qor {

namespace {

constexpr std::int32_t kProbeBufferSize = 64;
constexpr std::int32_t kHeld = -5;

}  // namespace

bool PortAvailable(std::int32_t n) {
  if (n <= 0) return false;
  TQorPosixDispatcher dispatcher(nullptr);
  // Rate 0, parity 5, data bits 9, stop bits 3: keep what the port has; the
  // modem lines are left to the port as well.
  const std::int32_t result =
      dispatcher.OpenPort("COM" + std::to_string(n), 0, 5, 9, 3, kProbeBufferSize,
                          kProbeBufferSize, kOpenDtrByFlow | kOpenRtsByFlow);
  if (result >= 0) {
    dispatcher.ClosePort();
    return true;
  }
  return result == kHeld;
}

}  // namespace qor
