// Many ports driven at once by one process: each port uploads a file with
// our Zmodem transmitter to its own rz across its own simulated line at
// 115200 baud with 2 ms latency, all ports' components living in this one
// thread. Each port's throughput is set against one port's alone.
//
// multiport_bench [PORTS] [KiB]: 16 ports and 128 KiB by default.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/zmodem/zmodem_endpoint.hpp"
#include "tools/linesim/line_simulator.hpp"

namespace {

namespace fs = std::filesystem;
using namespace qor::testing;
using Clock = std::chrono::steady_clock;

constexpr int kFirstPort = 200;
constexpr int kLimitMs = 30 * 60 * 1000;

// One port's upload: its line, its rz, our component, and when it finished.
struct Lane {
  Lane(int index, const TempDir& dir, const std::string& file) : line(Options(index)) {
    where = dir.Subdir("rz" + std::to_string(index));
    end = std::make_unique<Endpoint>(line.EndA(), kFirstPort + index);
    MakeZmodem(*end);
    end->Protocol().OnProtocolNextFile = [this, file](qor::TQorCustomProtocol&, std::string& name) {
      name = given ? std::string() : file;
      given = true;
    };
    peer = std::make_unique<PeerProcess>(RzCommand({"-y"}), where.string(), line.EndB());
  }
  static qor::tools::LineOptions Options(int index) {
    qor::tools::LineOptions o;
    o.baud = 115200;
    o.latency_ms = 2;
    o.seed = static_cast<std::uint32_t>(index + 1);
    return o;
  }

  qor::tools::LineSimulator line;
  fs::path where;
  std::unique_ptr<Endpoint> end;
  std::unique_ptr<PeerProcess> peer;
  bool given = false;
  double seconds = 0;
  bool ok = false;
};

// Starts every lane together and pumps until all have finished; the
// throughput of each in KiB/s.
std::vector<double> Run(int ports, const TempDir& dir, const std::string& file,
                        const std::string& content) {
  std::vector<std::unique_ptr<Lane>> lanes;
  for (int i = 0; i < ports; ++i) lanes.push_back(std::make_unique<Lane>(i, dir, file));
  // rz is up and listening before the clocks start.
  PumpUntil([] { return false; }, 300);
  const auto start = Clock::now();
  for (auto& lane : lanes) lane->end->Protocol().StartTransmit();
  PumpUntil(
      [&] {
        bool all = true;
        for (auto& lane : lanes) {
          if (lane->end->finished && lane->seconds == 0) {
            lane->seconds = std::chrono::duration<double>(Clock::now() - start).count();
          }
          all = all && lane->end->finished;
        }
        return all;
      },
      kLimitMs);
  std::vector<double> rates;
  const double kib = static_cast<double>(content.size()) / 1024;
  for (auto& lane : lanes) {
    lane->end->WaitOutputSent(3000);
    const int status = lane->peer->Wait(10000);
    const fs::path got = lane->where / fs::path(file).filename();
    lane->ok = lane->end->finish_code == 0 && status == 0 && fs::exists(got) &&
               TempDir::Read(got) == content;
    if (!lane->ok) std::fprintf(stderr, "a port's upload failed\n");
    rates.push_back(lane->ok && lane->seconds > 0 ? kib / lane->seconds : 0);
  }
  return rates;
}

}  // namespace

int main(int argc, char** argv) {
  const int ports = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;
  const long kib = argc > 2 ? std::max(1L, std::atol(argv[2])) : 128;
  TempDir dir;
  const std::string content = RandomBytes(static_cast<std::size_t>(kib) * 1024, 3, false);
  const std::string file = dir.Write("image.bin", content);

  std::printf("\n%d ports at once in one process against one port alone: Zmodem uploads of "
              "%ld KiB to rz, each on its own line at 115200 baud with 2 ms latency\n",
              ports, kib);
  const std::vector<double> one = Run(1, dir, file, content);
  std::vector<double> many = Run(ports, dir, file, content);
  std::sort(many.begin(), many.end());
  double sum = 0;
  for (double r : many) sum += r;
  const double single = one.front();
  std::printf("%-28s %10s %8s\n", "", "KiB/s", "of one");
  std::printf("%-28s %10.2f %7.1f%%\n", "one port alone", single, 100.0);
  std::printf("%-28s %10.2f %7.1f%%\n", "slowest of the ports", many.front(),
              100 * many.front() / single);
  std::printf("%-28s %10.2f %7.1f%%\n", "mean of the ports", sum / ports,
              100 * sum / ports / single);
  std::printf("%-28s %10.2f\n", "all ports together", sum);
  const bool ok = single > 0 && many.front() > 0;
  return ok ? 0 : 1;
}
