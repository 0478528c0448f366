#include "comm/dispatcher/dispatcher_registry.hpp"

#include <vector>

namespace qor::DispatcherRegistry {

namespace {

struct Registry {
  platform::CriticalSection lock;
  std::vector<TQorBaseDispatcher*> slots;
};

Registry& Instance() {
  static Registry registry;
  return registry;
}

}  // namespace

std::int32_t Register(TQorBaseDispatcher* dispatcher) {
  Registry& r = Instance();
  platform::Locker guard(r.lock);
  for (std::size_t i = 0; i < r.slots.size(); ++i) {
    if (r.slots[i] == nullptr) {
      r.slots[i] = dispatcher;
      return static_cast<std::int32_t>(i);
    }
  }
  r.slots.push_back(dispatcher);
  return static_cast<std::int32_t>(r.slots.size() - 1);
}

void Unregister(std::int32_t handle) {
  Registry& r = Instance();
  platform::Locker guard(r.lock);
  if (handle < 0 || static_cast<std::size_t>(handle) >= r.slots.size()) return;
  r.slots[static_cast<std::size_t>(handle)] = nullptr;
  while (!r.slots.empty() && r.slots.back() == nullptr) r.slots.pop_back();
}

platform::CriticalSection& Lock() { return Instance().lock; }

TQorBaseDispatcher* Find(std::int32_t handle) {
  Registry& r = Instance();
  platform::Locker guard(r.lock);
  if (handle < 0 || static_cast<std::size_t>(handle) >= r.slots.size()) return nullptr;
  return r.slots[static_cast<std::size_t>(handle)];
}

std::int32_t Count() {
  Registry& r = Instance();
  platform::Locker guard(r.lock);
  return static_cast<std::int32_t>(r.slots.size());
}

}  // namespace qor::DispatcherRegistry
