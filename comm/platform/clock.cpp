#include "comm/platform/clock.hpp"

#include <chrono>
#include <thread>

namespace qor::platform {

std::uint32_t TimeGetTime() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<std::uint32_t>(ms);
}

void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace qor::platform
