#pragma once
// The progress of the file under way on standard error: one line redrawn in
// place on a terminal, plain lines (at most one a second) otherwise.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qor::xfer {

// "12.3 KiB  45%  11.2 KiB/s  ETA 0:12"; size 0 (unknown) leaves out the
// percentage and the ETA.
std::string ProgressLine(std::int64_t bytes, std::int64_t size, double seconds);

class Progress {
 public:
  Progress(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  // A file begins: the clock for its rate starts.
  void Begin();
  void Update(std::int64_t bytes, std::int64_t size);
  // Ends the line being redrawn, before a message of its own.
  void Break();

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* out_;
  bool terminal_;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_line_{};
};

}  // namespace qor::xfer
