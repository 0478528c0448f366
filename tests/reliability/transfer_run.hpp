#pragma once
// One file transfer across a simulated line between two programs: our
// transfer tool or the real peer at each end.
#include <cstdint>
#include <string>

#include "tests/reliability/transfer_programs.hpp"
#include "tools/linesim/line_simulator.hpp"

namespace qor::testing {

enum class End { Ours, Peer };

struct TransferSetup {
  const TransferProgram* program = nullptr;
  End sender = End::Ours;
  End receiver = End::Peer;
  tools::LineOptions line;
  std::string content;           // the file's bytes
  int limit_ms = 240000;         // for the transfer; then a program still running counts as hung
  int receiver_head_start_ms = 0;  // the receiver starts this long before the sender
};

struct TransferResult {
  bool sender_hung = false;   // still running at the limit (and a grace after the other's end)
  bool receiver_hung = false;
  int sender_status = -1;
  int receiver_status = -1;
  bool identical = false;     // the receiver stored the file, byte for byte
  double seconds = 0;         // from the sender's start until the receiver had ended
  std::int64_t wire_bytes = 0;  // what the line carried from sender to receiver
  double sender_cpu = 0;      // CPU seconds, user and system
  double receiver_cpu = 0;
  std::string our_error;      // the last "error ..." line our tool wrote, if any

  bool Succeeded() const { return sender_status == 0 && receiver_status == 0; }
};

TransferResult RunTransfer(const TransferSetup& setup);

}  // namespace qor::testing
