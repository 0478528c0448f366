// Throughput of the receive path: device buffers -> receive ring -> ReadInputChar
// in an avail handler on the dispatch thread, against a plain loop that copies
// the same bytes the same way (256-byte buffers, one byte at a time out).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/dispatcher/memory_dispatcher.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kTotal = 16u << 20;  // bytes per run
constexpr int kRuns = 5;

struct Sink {
  qor::TQorBaseDispatcher* d = nullptr;
  std::atomic<std::size_t> received{0};
  std::uint64_t checksum = 0;  // dispatch thread only

  static void OnNotice(void* self, std::uint32_t msg, std::uintptr_t count, std::intptr_t) {
    auto* s = static_cast<Sink*>(self);
    if (msg != qor::kMsgTriggerAvail) return;
    std::uint8_t c = 0;
    std::size_t n = 0;
    for (; n < count && s->d->ReadInputChar(c) == 0; ++n) s->checksum += c;
    s->received += n;
  }
};

double DispatcherRun(const std::string& block) {
  qor::testing::TMemoryDispatcher d;
  Sink sink;
  sink.d = &d;
  d.OpenPort("mem", 115200, 0, 8, 1, 8192, 64, 0);
  d.AddMethodHandler({&sink, &Sink::OnNotice}, false);
  d.SetAvailThreshold(1);
  const auto start = Clock::now();
  for (std::size_t fed = 0; fed < kTotal;) {
    d.Feed(block);
    fed += block.size();
    // Keep at most 1 MiB queued, as a reader thread would.
    while (fed > sink.received + (1u << 20)) std::this_thread::yield();
  }
  while (sink.received < kTotal) std::this_thread::yield();
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  d.ClosePort();
  return static_cast<double>(kTotal) / s;
}

volatile std::uint64_t g_plain_sink = 0;

double PlainRun(const std::string& block) {
  std::vector<std::uint8_t> ring(8192);
  std::uint64_t checksum = 0;
  std::size_t head = 0;
  const auto start = Clock::now();
  for (std::size_t done = 0; done < kTotal; done += block.size()) {
    for (std::size_t at = 0; at < block.size(); at += 256) {
      std::uint8_t buffer[256];
      std::memcpy(buffer, block.data() + at, 256);
      std::memcpy(ring.data() + head, buffer, 256);
      for (std::size_t i = 0; i < 256; ++i) checksum += ring[head + i];
      head = (head + 256) % ring.size();
    }
  }
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  g_plain_sink = checksum;  // the loop must not be optimised away
  return static_cast<double>(kTotal) / s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  std::string block(64 * 1024, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  std::vector<double> dispatcher, plain;
  for (int i = 0; i < kRuns; ++i) {
    dispatcher.push_back(DispatcherRun(block));
    plain.push_back(PlainRun(block));
  }
  const double d = Median(dispatcher);
  const double p = Median(plain);
  std::printf("receive path, median of %d runs of %zu MiB:\n", kRuns, kTotal >> 20);
  std::printf("  dispatcher: %8.1f MB/s\n", d / 1e6);
  std::printf("  plain copy: %8.1f MB/s\n", p / 1e6);
  std::printf("  ratio dispatcher/plain: %.4f (%.1f x line rate of 115200 baud)\n", d / p,
              d / 11520.0);
  return 0;
}
