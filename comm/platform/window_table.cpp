#include "comm/platform/window_table.hpp"

#include <utility>

namespace qor::platform {

WindowHandle WindowTable::Add(std::shared_ptr<MessageQueue> owner, WindowProc proc) {
  WindowEntry entry{std::move(owner), std::make_shared<const WindowProc>(std::move(proc))};
  std::lock_guard lock(mutex_);
  const auto handle = static_cast<WindowHandle>(++lastHandle_);
  windows_.emplace(handle, std::move(entry));
  return handle;
}

std::optional<WindowEntry> WindowTable::Find(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  return it->second;
}

std::optional<WindowEntry> WindowTable::Remove(WindowHandle window) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  WindowEntry entry = std::move(it->second);
  windows_.erase(it);
  return entry;
}

std::vector<WindowEntry> WindowTable::RemoveOwnedBy(const MessageQueue& owner) {
  std::vector<WindowEntry> removed;
  std::lock_guard lock(mutex_);
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (it->second.owner.get() == &owner) {
      removed.push_back(std::move(it->second));
      it = windows_.erase(it);
    } else {
      ++it;
    }
  }
  return removed;
}

WindowTable& Windows() {
  static WindowTable table;
  return table;
}

}  // namespace qor::platform
