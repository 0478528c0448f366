#pragma once
// Command lines of the independent Kermit receivers we test against.
#include <string>
#include <vector>

namespace qor::testing {

struct ReceiverOptions {
  int packet_length = 80;  // the longest packet the receiver asks for
  int windows = 1;         // C-Kermit only; G-Kermit has none
  bool seven_bit = false;  // space parity: the peer asks for 8-bit prefixing
  std::string as_name;     // store a single file under this name
};

// G-Kermit receiving on its standard input and output.
std::vector<std::string> GkermitReceive(const ReceiverOptions& options);

// C-Kermit receiving on line; its script is written into dir.
std::vector<std::string> CkermitReceive(const ReceiverOptions& options, const std::string& dir,
                                        const std::string& line);

}  // namespace qor::testing
