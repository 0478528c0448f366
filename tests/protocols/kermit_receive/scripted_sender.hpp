#pragma once
// The test as the sender on the far end of a line: it writes packets and
// reads the receiver's answers, handling the test thread's messages while it
// waits, so that a receiver whose component lives in this thread can run.
#include <optional>
#include <string>
#include <vector>

#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {

class ScriptedSender {
 public:
  explicit ScriptedSender(int fd) : fd_(fd) {}

  void Send(const std::string& bytes);
  // The next packet from the receiver, or nothing within ms.
  std::optional<WirePacket> Next(int ms = 3000);
  // Sends a packet and returns the answer (type 0 when none came).
  WirePacket Exchange(const std::string& frame, int ms = 3000);
  // Every packet that arrives within ms.
  std::vector<WirePacket> Collect(int ms);

 private:
  int fd_;
  FrameReader reader_;
};

// "Y3", "N5", "E2": a packet's type and sequence number, for comparisons.
std::string Brief(const WirePacket& p);
std::string Brief(const std::vector<WirePacket>& packets);  // space-separated

}  // namespace qor::testing
