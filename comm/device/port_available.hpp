#pragma once
#include <cstdint>

namespace qor {

// Whether port n can be offered in the port dialog: it opens through a
// dispatcher (and is closed again at once), or it exists but another program
// holds it. Opening applies the dispatcher's raw mode to a free port.
bool PortAvailable(std::int32_t n);

}  // namespace qor
