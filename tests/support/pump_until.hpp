#pragma once
// Components keep their message windows in the thread that made them: a test
// that waits for their events handles that thread's messages while it waits.
#include <chrono>
#include <functional>

#include "comm/platform/message_queue.hpp"

namespace qor::testing {

// Handles this thread's messages until pred holds or ms pass; whether it held.
inline bool PumpUntil(const std::function<bool()>& pred, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (platform::ProcessOneMessage() == platform::PumpResult::None) platform::WaitMessage(2);
  }
  return true;
}

}  // namespace qor::testing
