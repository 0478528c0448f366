#pragma once
// How each protocol is run across a line: our transfer tool's options and the
// command lines of the real peer programs at the other end.
#include <functional>
#include <string>
#include <vector>

namespace qor::testing {

struct TransferProgram {
  std::string name;
  std::vector<std::string> our_options;
  std::vector<std::string> our_receive_options;  // e.g. the name a file without one gets
  // The peer receiving into dir, or sending file; line is the path of its
  // port (only a peer that opens the line itself uses it).
  std::function<std::vector<std::string>(const std::string& dir, const std::string& line)>
      peer_receive;
  std::function<std::vector<std::string>(const std::string& file, const std::string& dir,
                                         const std::string& line)>
      peer_send;
  bool peer_opens_line = false;  // the peer opens the line by name (else it is its stdio)
};

// Kermit (1024-byte packets, 4 windows, check 3, C-Kermit), Xmodem-1K, Ymodem
// and Zmodem (lrzsz), and plain ASCII (cat), in that order.
const std::vector<TransferProgram>& TransferPrograms();

// Kermit with the recovery wizard's settings (80-byte packets, check 1, no
// windows) against C-Kermit with the same.
const TransferProgram& WizardKermitProgram();

}  // namespace qor::testing
