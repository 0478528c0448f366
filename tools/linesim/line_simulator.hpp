#pragma once
// Two pseudo-terminals joined by a simulated serial line: what one program
// writes to its end, the other reads from its end, paced like a UART, late by
// a fixed latency, and with the faults a real line has.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "comm/platform/thread.hpp"

namespace qor::tools {

struct LineOptions {
  std::int64_t baud = 0;         // 0: as fast as the ptys go; else 10 bits a byte
  double latency_ms = 0;         // one way
  double flip_rate = 0;          // chance per byte of one flipped bit
  double drop_rate = 0;          // chance per byte of losing it
  double garbage_rate = 0;       // chance per byte of a burst of random bytes after it
  int garbage_length = 16;       // bytes in a burst
  double silent_after_ms = 0;    // from then on nothing passes (0: never)
  double vanish_after_ms = 0;    // then both ends hang up (0: never)
  std::uint32_t seed = 1;
};

// What passed one way.
struct LineCounters {
  std::int64_t bytes = 0;    // read from the sender
  std::int64_t flipped = 0;
  std::int64_t dropped = 0;
  std::int64_t garbage = 0;  // bytes added
};

class LineSimulator {
 public:
  // Throws std::system_error when no pty can be had.
  explicit LineSimulator(const LineOptions& options = {});
  ~LineSimulator();
  LineSimulator(const LineSimulator&) = delete;
  LineSimulator& operator=(const LineSimulator&) = delete;

  const std::string& EndA() const { return a_.path; }
  const std::string& EndB() const { return b_.path; }
  // Whether the line has hung up (vanished, or a pty failed).
  bool Gone() const { return gone_; }
  // Counters, read once the simulator has stopped (after Stop).
  const LineCounters& AtoB() const { return a_to_b_.counters; }
  const LineCounters& BtoA() const { return b_to_a_.counters; }
  // Ends the relay; idempotent.
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct End {
    int master = -1;
    int slave = -1;  // held open so that a program's reopen never hangs up
    std::string path;
  };
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
  };
  struct Direction {
    int from = -1, to = -1;
    std::deque<Chunk> queue;
    Clock::time_point line_free{};  // when the paced line has sent all it holds
    LineCounters counters;
    std::uint64_t random = 1;  // each way its own, so that timing never changes the faults
  };

  int Relay();
  bool Take(Direction& d, Clock::time_point now, bool silent);
  bool Deliver(Direction& d, Clock::time_point now);
  static double Random(Direction& d);  // [0, 1)
  void HangUp();

  LineOptions options_;
  End a_, b_;
  Direction a_to_b_, b_to_a_;
  int stop_fd_ = -1;
  std::atomic<bool> gone_{false};
  Clock::time_point start_;
  std::unique_ptr<platform::Thread> relay_;
};

}  // namespace qor::tools
