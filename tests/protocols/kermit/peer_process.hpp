#pragma once
// A peer program with a serial line as its standard input and output.
#include <string>
#include <vector>

#include <sys/types.h>

namespace qor::testing {

class PeerProcess {
 public:
  // Runs argv in dir; line (may be empty: /dev/null) becomes stdin and stdout,
  // stderr goes to dir/peer.log.
  PeerProcess(const std::vector<std::string>& argv, const std::string& dir,
              const std::string& line);
  // Runs argv in dir with the descriptor line_fd (a socket, say) as stdin and stdout.
  PeerProcess(const std::vector<std::string>& argv, const std::string& dir, int line_fd);
  // Kills the program if it still runs.
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // Waits up to ms for the program to end; its exit status, or -1 if it still
  // runs (or was killed by a signal).
  int Wait(int ms);
  void Kill();
  // Sends the program a signal, if it still runs.
  void Signal(int signal);
  // Whether the program has ended (checks without waiting).
  bool Ended() {
    Wait(0);
    return pid_ <= 0;
  }
  // CPU seconds (user and system) the program used; known once it has ended.
  double CpuSeconds() const { return cpu_seconds_; }

 private:
  void Spawn(const std::vector<std::string>& argv, const std::string& dir, const std::string& line,
             int line_fd);

  pid_t pid_ = -1;
  int status_ = -1;
  double cpu_seconds_ = 0;
};

}  // namespace qor::testing
