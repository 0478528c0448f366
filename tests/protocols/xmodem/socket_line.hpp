#pragma once
// A serial line between our port (a pseudo-terminal) and a peer program
// whose standard input and output are a socket, joined by a relay thread.
// lrzsz flushes its terminal when it exits, which on a pseudo-terminal throws
// away its last ACK before anybody read it; a socket has nothing to flush, so
// everything the peer wrote arrives.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tests/device/pty_pair.hpp"

namespace qor::testing {

class SocketLine {
 public:
  SocketLine();
  ~SocketLine();
  SocketLine(const SocketLine&) = delete;
  SocketLine& operator=(const SocketLine&) = delete;

  const std::string& OurLine() const { return ours_.Path(); }
  // The descriptor a peer program gets as its standard input and output.
  int PeerFd() const { return peer_[1]; }
  // Loses count bytes of what our side sends, from byte offset on.
  void DropFromUs(std::int64_t offset, std::int64_t count);
  // Everything our side sent (dropped bytes included), and the peer sent.
  std::string FromUs() const;
  std::string FromPeer() const;

 private:
  void Run();

  PtyPair ours_;
  int peer_[2] = {-1, -1};
  int stop_[2] = {-1, -1};
  std::atomic<std::int64_t> drop_from_{-1};
  std::atomic<std::int64_t> drop_count_{0};
  mutable std::mutex lock_;
  std::string from_us_;
  std::string from_peer_;
  std::thread thread_;
};

}  // namespace qor::testing
