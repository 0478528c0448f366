// qorlinesim: a serial line between two programs. Makes two pseudo-terminals,
// prints "A <path>" and "B <path>" (each a port for one program), and relays
// between them paced to a line rate, late by a latency, and with injected
// faults, until the time is up, it is interrupted, or the line vanishes. The
// byte counters of both directions go to standard error at the end.
#include <CLI/CLI.hpp>

#include <csignal>
#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/linesim/line_simulator.hpp"

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnSignal(int) { g_stop = 1; }

void PrintCounters(const char* direction, const qor::tools::LineCounters& c) {
  std::fprintf(stderr, "%s: %lld bytes, %lld flipped, %lld dropped, %lld garbage added\n",
               direction, static_cast<long long>(c.bytes), static_cast<long long>(c.flipped),
               static_cast<long long>(c.dropped), static_cast<long long>(c.garbage));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qorlinesim - a simulated serial line between two pseudo-terminals"};
  qor::tools::LineOptions o;
  double timeout = 0;
  app.add_option("--baud", o.baud, "Line rate, 10 bits a byte (0: as fast as the ptys go)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--latency", o.latency_ms, "One-way latency in ms")->check(CLI::NonNegativeNumber);
  app.add_option("--flip", o.flip_rate, "Chance per byte of a flipped bit")->check(CLI::Range(0.0, 1.0));
  app.add_option("--drop", o.drop_rate, "Chance per byte of losing it")->check(CLI::Range(0.0, 1.0));
  app.add_option("--garbage", o.garbage_rate, "Chance per byte of a burst of random bytes")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--garbage-length", o.garbage_length, "Bytes in a burst of garbage")
      ->check(CLI::Range(1, 4096))
      ->capture_default_str();
  app.add_option("--silent-after", o.silent_after_ms, "Let nothing pass after this many ms")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--vanish-after", o.vanish_after_ms, "Hang up both ends after this many ms")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--seed", o.seed, "Seed of the faults")->capture_default_str();
  app.add_option("--timeout", timeout, "End after this many seconds (0: when interrupted)")
      ->check(CLI::NonNegativeNumber);
  CLI11_PARSE(app, argc, argv);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  try {
    qor::tools::LineSimulator line(o);
    std::printf("A %s\nB %s\n", line.EndA().c_str(), line.EndB().c_str());
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    while (g_stop == 0 && !line.Gone() &&
           (timeout <= 0 || std::chrono::steady_clock::now() < end)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    line.Stop();
    PrintCounters("A>B", line.AtoB());
    PrintCounters("B>A", line.BtoA());
    if (line.Gone()) std::fprintf(stderr, "the line hung up\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qorlinesim: %s\n", e.what());
    return 2;
  }
  return 0;
}
