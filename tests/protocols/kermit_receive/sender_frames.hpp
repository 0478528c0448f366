#pragma once
// Packets as a Kermit sender puts them on the line, built here independently
// of the engine so that the receiver is tested against the protocol rather
// than against itself.
#include <string>
#include <string_view>

namespace qor::testing {

// A packet with a block check of type 1, 2 or 3; the header is extended when
// the field needs it.
std::string Frame(char type, int seq, std::string_view field, int check = 1);

// What a sender asks for in its Send-Init.
struct SenderParams {
  int max_len = 94;
  char check = '1';
  int windows = 0;   // 0: no sliding windows
  int long_len = 0;  // 0: no long packets
  char hibit = 'Y';  // willing, not asking
  char repeat = '~';
};
std::string SendInitField(const SenderParams& p);

}  // namespace qor::testing
