#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/platform/thread.hpp"

namespace qor::tools {

// Two pseudo-terminals joined like a null-modem cable: what one program writes
// to its end, the other reads from its end. Each end is a path a program opens
// as a serial port.
class NullModem {
 public:
  // noise: the chance that a byte on the line gets one bit flipped (seeded, so
  // a run can be repeated). Throws std::system_error when no pty can be had.
  explicit NullModem(double noise = 0, std::uint32_t seed = 1);
  ~NullModem();
  NullModem(const NullModem&) = delete;
  NullModem& operator=(const NullModem&) = delete;

  const std::string& EndA() const { return path_a_; }
  const std::string& EndB() const { return path_b_; }

 private:
  int Relay();
  bool Forward(int from, int to);

  int master_a_ = -1, master_b_ = -1;
  int slave_a_ = -1, slave_b_ = -1;  // held open so that a reopen never hangs up
  int stop_fd_ = -1;
  std::string path_a_, path_b_;
  double noise_;
  std::uint32_t random_;  // xorshift state, relay thread only
  std::unique_ptr<platform::Thread> relay_;
};

}  // namespace qor::tools
