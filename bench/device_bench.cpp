// The device layer on a pseudo-terminal pair. Latency: the peer writes one
// byte; time until the avail handler (dispatch thread) has it. Throughput:
// 16 MiB each way through the whole layer (read thread, InputQueue, receive
// ring, ReadInputChar in the avail handler; WriteBlock, SendRing, write
// thread), against a plain read/write loop on the same pair in the same run;
// medians of kRuns runs, layer and plain taking turns.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "comm/device/posix_dispatcher.hpp"
#include "tests/device/pty_pair.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRoundTrips = 10000;
constexpr std::size_t kBulk = 16u << 20;
constexpr std::size_t kPlainChunk = 4096;
constexpr std::int32_t kOutSize = 65536;
constexpr int kRuns = 5;

std::int64_t Nanos(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

double MiBPerSecond(std::size_t bytes, Clock::duration d) {
  return static_cast<double>(bytes) / (1 << 20) / std::chrono::duration<double>(d).count();
}

// Counts what the avail handler reads, and when it last read.
struct Sink {
  qor::TQorBaseDispatcher* d = nullptr;
  std::atomic<std::size_t> received{0};
  std::atomic<std::int64_t> at{0};

  static void OnNotice(void* self, std::uint32_t msg, std::uintptr_t count, std::intptr_t) {
    auto* s = static_cast<Sink*>(self);
    if (msg != qor::kMsgTriggerAvail) return;
    std::uint8_t c = 0;
    std::size_t n = 0;
    while (n < count && s->d->ReadInputChar(c) == 0) ++n;
    s->at = Nanos(Clock::now());
    s->received += n;
    s->received.notify_all();
  }
};

// Writes all of data to fd (non-blocking), waiting for room as needed.
void WriteAll(int fd, const char* data, std::size_t n, std::size_t chunk) {
  while (n > 0) {
    const ssize_t k = write(fd, data, std::min(n, chunk));
    if (k > 0) {
      data += k;
      n -= static_cast<std::size_t>(k);
    } else {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
    }
  }
}

void ReadAll(int fd, std::size_t n, std::size_t chunk) {
  std::vector<char> buffer(chunk);
  while (n > 0) {
    const ssize_t k = read(fd, buffer.data(), std::min(n, chunk));
    if (k > 0) {
      n -= static_cast<std::size_t>(k);
    } else {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 100);
    }
  }
}

void Latency(Sink& sink, int peer) {
  std::vector<double> micros;
  micros.reserve(kRoundTrips);
  for (int i = 0; i < kRoundTrips; ++i) {
    const std::size_t before = sink.received;
    const Clock::time_point start = Clock::now();
    WriteAll(peer, "x", 1, 1);
    sink.received.wait(before);
    micros.push_back(static_cast<double>(sink.at - Nanos(start)) / 1000.0);
  }
  std::sort(micros.begin(), micros.end());
  std::printf("round trip, peer byte -> avail handler (%d): median %.1f us, 99th percentile %.1f us\n",
              kRoundTrips, micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
}

struct Rates {
  double receive;
  double transmit;
};

Rates ThroughLayer(qor::TQorPosixDispatcher& d, Sink& sink, int peer, const std::string& data) {
  sink.received = 0;
  const Clock::time_point start = Clock::now();
  std::thread sender([&] { WriteAll(peer, data.data(), data.size(), kPlainChunk); });
  for (std::size_t got = sink.received; got < data.size(); got = sink.received) {
    sink.received.wait(got);
  }
  sender.join();
  const double receive = MiBPerSecond(data.size(), Clock::now() - start);

  const Clock::time_point tx_start = Clock::now();
  std::thread reader([&] { ReadAll(peer, data.size(), kPlainChunk); });
  std::string_view rest = data;
  while (!rest.empty()) {
    const auto n = std::min<std::size_t>(rest.size(), static_cast<std::size_t>(d.OutputFree()));
    if (n == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    d.WriteBlock(reinterpret_cast<const std::uint8_t*>(rest.data()), static_cast<std::int32_t>(n));
    rest.remove_prefix(n);
  }
  reader.join();
  return {receive, MiBPerSecond(data.size(), Clock::now() - tx_start)};
}

Rates Plain(const std::string& path, int peer, const std::string& data) {
  const int line = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  Clock::time_point start = Clock::now();
  std::thread sender([&] { WriteAll(peer, data.data(), data.size(), kPlainChunk); });
  ReadAll(line, data.size(), kPlainChunk);
  sender.join();
  const double receive = MiBPerSecond(data.size(), Clock::now() - start);
  start = Clock::now();
  std::thread reader([&] { ReadAll(peer, data.size(), kPlainChunk); });
  WriteAll(line, data.data(), data.size(), kPlainChunk);
  reader.join();
  const double transmit = MiBPerSecond(data.size(), Clock::now() - start);
  close(line);
  return {receive, transmit};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One open of the port: the latency run first, else a bulk run.
bool LayerRun(const std::string& path, int peer, const std::string* data, Rates* rates) {
  qor::TQorPosixDispatcher d(nullptr);
  if (d.OpenPort(path, 115200, 0, 8, 1, 4096, kOutSize, 0) != 0) return false;
  Sink sink;
  sink.d = &d;
  d.SetAvailThreshold(1);
  d.AddMethodHandler({&sink, &Sink::OnNotice}, false);
  if (data == nullptr) {
    Latency(sink, peer);
  } else {
    *rates = ThroughLayer(d, sink, peer, *data);
  }
  d.RemoveMethodHandler({&sink, &Sink::OnNotice});
  return true;
}

}  // namespace

int main() {
  qor::testing::PtyPair pty;
  if (!LayerRun(pty.Path(), pty.Peer(), nullptr, nullptr)) {
    std::fprintf(stderr, "cannot open %s\n", pty.Path().c_str());
    return 1;
  }
  const std::string data(kBulk, 'u');
  std::vector<double> layer_rx, layer_tx, plain_rx, plain_tx;
  for (int run = 0; run < kRuns; ++run) {
    Rates layer{};
    LayerRun(pty.Path(), pty.Peer(), &data, &layer);
    const Rates plain = Plain(pty.Path(), pty.Peer(), data);
    layer_rx.push_back(layer.receive);
    layer_tx.push_back(layer.transmit);
    plain_rx.push_back(plain.receive);
    plain_tx.push_back(plain.transmit);
  }
  const double lrx = Median(layer_rx), ltx = Median(layer_tx);
  const double prx = Median(plain_rx), ptx = Median(plain_tx);
  std::printf("receive  %zu MiB, median of %d: layer %.1f MiB/s, plain read %.1f MiB/s, ratio %.2f\n",
              kBulk >> 20, kRuns, lrx, prx, lrx / prx);
  std::printf("transmit %zu MiB, median of %d: layer %.1f MiB/s, plain write %.1f MiB/s, ratio %.2f\n",
              kBulk >> 20, kRuns, ltx, ptx, ltx / ptx);
  return 0;
}
