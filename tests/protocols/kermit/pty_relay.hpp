#pragma once
// Two pseudo-terminal pairs joined by a relay thread: our port opens one
// line, a peer program the other. The relay can pace the line like a UART,
// records what our side sent, and can be cut to make the peer vanish.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tests/device/pty_pair.hpp"

namespace qor::testing {

class PtyRelay {
 public:
  // bytes_per_second 0: as fast as the ptys go.
  explicit PtyRelay(std::int64_t bytes_per_second = 0);
  ~PtyRelay();
  PtyRelay(const PtyRelay&) = delete;
  PtyRelay& operator=(const PtyRelay&) = delete;

  const std::string& OurLine() const { return ours_.Path(); }
  const std::string& PeerLine() const { return theirs_.Path(); }

  // A program has the peer's line open.
  bool PeerOpened() const;
  // Stops relaying: from now on nothing passes either way.
  void Cut();
  // Bytes our side has sent (that reached the relay).
  std::int64_t SentByUs() const { return sent_by_us_.load(); }
  // Bytes our side wrote that the relay has not read yet.
  int OurPending() const { return ours_.Pending(); }
  // Everything our side sent, in order.
  std::string OurWire() const;

 private:
  void Run();

  PtyPair ours_;
  PtyPair theirs_;
  const std::int64_t rate_;
  int stop_[2] = {-1, -1};
  std::atomic<bool> cut_{false};
  std::atomic<std::int64_t> sent_by_us_{0};
  mutable std::mutex wire_lock_;
  std::string wire_;
  std::thread thread_;
};

}  // namespace qor::testing
