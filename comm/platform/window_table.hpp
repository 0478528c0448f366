#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "comm/platform/message_queue.hpp"

namespace qor::platform {

struct WindowEntry {
  std::shared_ptr<MessageQueue> owner;
  // Shared so that a procedure being called survives its window's destruction.
  std::shared_ptr<const WindowProc> proc;
};

// Every message window of the process. Entries are handed out as copies and
// released by the caller, so no procedure runs or is destroyed under the lock.
class WindowTable {
 public:
  WindowHandle Add(std::shared_ptr<MessageQueue> owner, WindowProc proc);
  std::optional<WindowEntry> Find(WindowHandle window) const;
  std::optional<WindowEntry> Remove(WindowHandle window);
  std::vector<WindowEntry> RemoveOwnedBy(const MessageQueue& owner);

 private:
  mutable std::mutex mutex_;
  std::uintptr_t lastHandle_ = 0;  // handles are never reused
  std::unordered_map<WindowHandle, WindowEntry> windows_;
};

WindowTable& Windows();

}  // namespace qor::platform
