// The Xmodem-1K receiver (CRC; it takes 128-byte blocks too) over arbitrary
// line input, through its handler.
#include <cstdint>

#include "fuzz/engine_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  qor::fuzz::RunReceive(qor::ptXmodem1K, bytes, size);
  return 0;
}
