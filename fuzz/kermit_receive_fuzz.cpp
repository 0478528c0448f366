// The Kermit receiver over arbitrary line input, through its handler, set up
// as the seeds were recorded: long packets up to 1000 and four window slots,
// which a sender may also decline.
#include <cstdint>

#include "fuzz/engine_harness.hpp"
#include "protocols/kermit/kermit.hpp"

namespace {

void LongPacketsAndWindows(qor::TProtocolData& data) {
  qor::SetKermitMaxLongLen(data, 1000);
  qor::SetKermitMaxWindows(data, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  qor::fuzz::RunReceive(qor::ptKermit, bytes, size, &LongPacketsAndWindows);
  return 0;
}
