#pragma once
// Two pseudo-terminal lines joined like a null-modem cable by a relay thread.
// A filter per direction may drop whole packets (MARK to CR), to lose a data
// packet or an acknowledge on purpose.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tests/device/pty_pair.hpp"
#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {

class PacketRelay {
 public:
  // Answers whether a packet passes; runs in the relay's thread only.
  using Filter = std::function<bool(const WirePacket&)>;

  explicit PacketRelay(Filter a_to_b = {}, Filter b_to_a = {});
  ~PacketRelay();
  PacketRelay(const PacketRelay&) = delete;
  PacketRelay& operator=(const PacketRelay&) = delete;

  const std::string& LineA() const { return a_.Path(); }
  const std::string& LineB() const { return b_.Path(); }
  // A program has line B open.
  bool OpenedB() const;
  // Everything the side on line A (or B) sent, dropped packets included.
  std::string SentFromA() const;
  std::string SentFromB() const;

 private:
  struct Lane;
  void Run();
  // Both false only when the relay is stopping.
  bool Forward(Lane& lane);
  bool WriteAll(int fd, const std::string& bytes);

  PtyPair a_;
  PtyPair b_;
  Filter a_to_b_;
  Filter b_to_a_;
  int stop_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  mutable std::mutex wire_lock_;
  std::string from_a_;
  std::string from_b_;
  std::thread thread_;
};

}  // namespace qor::testing
