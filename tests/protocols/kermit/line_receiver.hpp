#pragma once
// A receiver played by the test on the far end of a line: a thread reads
// packets and writes whatever the answer function returns for each.
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {

class LineReceiver {
 public:
  using Answer = std::function<std::string(const WirePacket&)>;
  // answer runs in the receiver's thread only.
  LineReceiver(int fd, Answer answer);
  ~LineReceiver();
  LineReceiver(const LineReceiver&) = delete;
  LineReceiver& operator=(const LineReceiver&) = delete;

  std::vector<WirePacket> Packets() const;

 private:
  void Run();

  int fd_;
  Answer answer_;
  int stop_[2] = {-1, -1};
  mutable std::mutex lock_;
  std::vector<WirePacket> packets_;
  std::thread thread_;
};

// The limits of common boot-loader receivers: check type 1 only, no sliding
// windows, no 8-bit or repeat prefixing, normal packets only; a packet with a
// raw control character in it is refused with a negative acknowledge.
class BootLoader {
 public:
  std::string operator()(const WirePacket& p);

  // Read these once the receiver thread has ended.
  std::string name;
  std::string data;
  std::vector<std::string> violations;
  bool done = false;

 private:
  int expected_ = 0;
};

}  // namespace qor::testing
