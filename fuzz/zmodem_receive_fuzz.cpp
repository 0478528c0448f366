// The Zmodem receiver over arbitrary line input, through its handler.
#include <cstdint>

#include "fuzz/engine_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  qor::fuzz::RunReceive(qor::ptZmodem, bytes, size);
  return 0;
}
