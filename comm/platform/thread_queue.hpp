#pragma once
#include "comm/platform/queue_core.hpp"

namespace qor::platform {

// The calling thread's queue, or nullptr if it has not used one yet.
MessageQueue* ExistingQueue();

// The calling thread's queue, made on first use.
MessageQueue& OwnQueue();

// Closes the calling thread's queue and destroys its windows, as its end does.
// Thread calls it so that a thread counts as ended only after this.
void CloseCurrentQueue();

}  // namespace qor::platform
