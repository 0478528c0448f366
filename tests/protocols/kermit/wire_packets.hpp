#pragma once
// Kermit packets as the tests see them on the wire, independently of the
// engine's own assemblers: frames from MARK to the terminator CR.
#include <cstdint>
#include <string>
#include <vector>

namespace qor::testing {

struct WirePacket {
  char type = 0;
  int seq = -1;
  int length = 0;        // L: characters after LEN (extended: LENX + 2)
  bool extended = false;
  std::string body;      // after the header: data field and check
  std::string frame;     // from MARK to the terminator, inclusive
};

// The packets of a stream; bytes outside frames are ignored.
std::vector<WirePacket> ParseWire(const std::string& wire);

// Collects frames from bytes as they arrive.
class FrameReader {
 public:
  void Add(const char* bytes, std::size_t n) { pending_.append(bytes, n); }
  // The next complete packet, if one has arrived.
  bool Next(WirePacket& packet);

 private:
  std::string pending_;
};

// The block check type (1, 2 or 3) whose check the packet carries; 0 if none fits.
int CheckTypeOf(const WirePacket& p);

// A normal packet with a one-character checksum.
std::string Packet1(char type, int seq, const std::string& field);
// The field of a packet of check length c.
inline std::string FieldOf(const WirePacket& p, int c) {
  return p.body.size() >= static_cast<std::size_t>(c) ? p.body.substr(0, p.body.size() - c) : "";
}

}  // namespace qor::testing
