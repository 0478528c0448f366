#pragma once
#include <cstdint>

namespace qor::platform {

// Milliseconds from a monotonic clock, wrapping at 2^32 like the system timer it
// stands in for. Differences between two readings are valid across the wrap.
std::uint32_t TimeGetTime();

// Suspends the calling thread for at least ms milliseconds.
void Sleep(std::uint32_t ms);

}  // namespace qor::platform
