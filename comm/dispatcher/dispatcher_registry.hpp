#pragma once
#include <cstdint>
#include <mutex>

#include "comm/platform/sync.hpp"

namespace qor {

class TQorBaseDispatcher;

// The process-wide list of dispatchers. A dispatcher's index is its handle, the
// high word of the lParam of every trigger message it sends.
namespace DispatcherRegistry {

// Takes the first empty slot (or appends one) and returns its index.
std::int32_t Register(TQorBaseDispatcher* dispatcher);
// Empties the slot and drops the empty slots at the end of the list.
void Unregister(std::int32_t handle);

// The registry's lock: hold it while using a dispatcher found by Find.
platform::CriticalSection& Lock();
// The dispatcher with that handle, or nullptr; call with Lock() held.
TQorBaseDispatcher* Find(std::int32_t handle);
// Number of slots (empty ones included); call with Lock() held.
std::int32_t Count();

// The dispatcher handle carried in a trigger message's lParam.
inline std::int32_t HandleOf(std::intptr_t lParam) {
  return static_cast<std::int32_t>((static_cast<std::uintptr_t>(lParam) >> 16) & 0xFFFF);
}

}  // namespace DispatcherRegistry

}  // namespace qor
