#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "comm/platform/queue_core.hpp"

namespace qor::platform {

// Takes the next message of the calling thread's own queue and runs it; dead
// windows' messages are skipped.
PumpResult ProcessNext(MessageQueue& queue, bool sentOnly, QuitMode mode, int* quitCode);

// Queues message at target (another thread's queue) and waits for its answer,
// handling messages sent to the calling thread meanwhile. Returns the answer, or
// nothing when the send failed; either way the message will not run later
// unless it already runs.
std::optional<std::intptr_t> SendAndWait(MessageQueue& target, const std::shared_ptr<SentMessage>& message,
                                         std::uint32_t timeoutMs, bool abortIfHung);

}  // namespace qor::platform
