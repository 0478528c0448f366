#pragma once
// A pseudo-terminal pair as a serial line: the dispatcher opens Path(), the
// test plays the other end through the peer descriptor.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace qor::testing {

class PtyPair {
 public:
  PtyPair();  // throws std::system_error when no pair can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& Path() const { return path_; }
  int Peer() const { return peer_; }
  // The other end hangs up.
  void ClosePeer();

  // Puts all of bytes on the line, waiting for room as needed.
  void Write(std::string_view bytes);
  // Reads until n bytes have come, or ms have passed.
  std::string Read(std::size_t n, int ms = 5000);
  // Reads until the received text ends with marker, or ms have passed.
  std::string ReadUntil(std::string_view marker, int ms = 5000);
  // Bytes waiting for the peer to read.
  int Pending() const;

 private:
  int peer_ = -1;
  std::string path_;
};

// Polls pred until it holds or ms pass.
inline bool WaitUntil(const std::function<bool()>& pred, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace qor::testing
