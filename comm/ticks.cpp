#include "comm/ticks.hpp"

#include "comm/platform/clock.hpp"

namespace qor {

std::int32_t NowTicks() {
  return static_cast<std::int32_t>(platform::TimeGetTime() / kMsPerTick);
}

}  // namespace qor
