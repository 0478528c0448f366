#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {

namespace {

int UnChar(char c) { return static_cast<unsigned char>(c) - 32; }
char ToChar(int x) { return static_cast<char>(x + 32); }

WirePacket Decode(const std::string& frame) {
  WirePacket p;
  p.frame = frame;
  const std::string inner = frame.substr(1, frame.size() - 2);  // MARK .. CR
  if (inner.size() < 3) return p;
  p.seq = UnChar(inner[1]);
  p.type = inner[2];
  if (inner[0] == ' ' && inner.size() >= 6) {
    p.extended = true;
    p.length = UnChar(inner[3]) * 95 + UnChar(inner[4]) + 2;
    p.body = inner.substr(6);
  } else {
    p.length = UnChar(inner[0]);
    p.body = inner.substr(3);
  }
  return p;
}

unsigned Crc16Kermit(const std::string& s) {
  unsigned crc = 0;
  for (const char ch : s) {
    unsigned b = static_cast<unsigned char>(ch);
    for (int i = 0; i < 8; ++i, b >>= 1) crc = ((b ^ crc) & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1;
  }
  return crc;
}

// The check characters of type c over the characters between MARK and check.
std::string CheckOf(int c, const std::string& covered) {
  unsigned sum = 0;
  for (const char ch : covered) sum += static_cast<unsigned char>(ch);
  if (c == 1) return std::string(1, ToChar(static_cast<int>((sum + ((sum >> 6) & 3)) & 63)));
  if (c == 2) return {ToChar(static_cast<int>((sum >> 6) & 63)), ToChar(static_cast<int>(sum & 63))};
  const unsigned k = Crc16Kermit(covered);
  return {ToChar(static_cast<int>((k >> 12) & 15)), ToChar(static_cast<int>((k >> 6) & 63)),
          ToChar(static_cast<int>(k & 63))};
}

}  // namespace

int CheckTypeOf(const WirePacket& p) {
  const std::string inner = p.frame.substr(1, p.frame.size() - 2);
  // Longest first: a one-character check matches by chance far more often.
  for (int c = 3; c >= 1; --c) {
    const std::size_t at = p.extended ? 6 : 3;
    // L counts the characters after LEN; the check must end exactly there.
    const std::size_t total = p.extended ? at + static_cast<std::size_t>(p.length - 2)
                                         : 1 + static_cast<std::size_t>(p.length);
    if (total != inner.size() || inner.size() < at + static_cast<std::size_t>(c)) continue;
    const std::size_t check_at = inner.size() - static_cast<std::size_t>(c);
    if (CheckOf(c, inner.substr(0, check_at)) == inner.substr(check_at)) return c;
  }
  return 0;
}

bool FrameReader::Next(WirePacket& packet) {
  const std::size_t mark = pending_.find('\x01');
  if (mark == std::string::npos) {
    pending_.clear();
    return false;
  }
  const std::size_t end = pending_.find('\r', mark);
  if (end == std::string::npos) {
    pending_.erase(0, mark);
    return false;
  }
  packet = Decode(pending_.substr(mark, end - mark + 1));
  pending_.erase(0, end + 1);
  return true;
}

std::vector<WirePacket> ParseWire(const std::string& wire) {
  FrameReader reader;
  reader.Add(wire.data(), wire.size());
  std::vector<WirePacket> packets;
  WirePacket p;
  while (reader.Next(p)) packets.push_back(p);
  return packets;
}

std::string Packet1(char type, int seq, const std::string& field) {
  std::string body;
  body += ToChar(static_cast<int>(field.size()) + 3);
  body += ToChar(seq);
  body += type;
  body += field;
  unsigned sum = 0;
  for (const char c : body) sum += static_cast<unsigned char>(c);
  return "\x01" + body + ToChar(static_cast<int>((sum + ((sum >> 6) & 3)) & 63)) + "\r";
}

}  // namespace qor::testing
